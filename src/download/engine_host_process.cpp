#include "download/engine_host_process.h"

#include "platform/write_all.h"

#include <algorithm>
#include <cstddef>

namespace tarnvel {

namespace {

bool MakePipe(UniqueHandle& readEnd, UniqueHandle& writeEnd) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 64 * 1024))
        return false;
    readEnd.Reset(read);
    writeEnd.Reset(write);
    return true;
}

// A process attribute list that lets the child inherit exactly `handles`, whatever else is
// inheritable in the program at that moment.
class InheritOnly {
public:
    explicit InheritOnly(HANDLE (&handles)[2]) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            list_ = list;
            if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                           sizeof(handles), nullptr, nullptr))
                Reset();
        }
    }
    ~InheritOnly() { Reset(); }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return list_; }

private:
    void Reset() {
        if (list_ != nullptr)
            DeleteProcThreadAttributeList(list_);
        list_ = nullptr;
    }

    std::vector<std::byte> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// A job that ends what it holds when its last handle closes, which the system does for the
// program however it ends.
UniqueHandle KillOnCloseJob() {
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job &&
        !SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)))
        job.Reset();
    return job;
}

std::wstring HandleNumber(HANDLE handle) {
    return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle));
}

} // namespace

std::unique_ptr<EngineHostProcess> EngineHostProcess::Start(const std::wstring& path, DWORD& error) {
    auto host = std::make_unique<EngineHostProcess>(Key{});
    // The host's ends, which it alone inherits; ours are closed here once it has them, so that its
    // end is the pipes' only other end.
    UniqueHandle hostRequests;
    UniqueHandle hostReports;
    if (!MakePipe(hostRequests, host->requests_) || !MakePipe(host->reports_, hostReports)) {
        error = GetLastError();
        return nullptr;
    }
    HANDLE inherited[2] = {hostRequests.Get(), hostReports.Get()};
    for (HANDLE handle : inherited)
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    InheritOnly inheritOnly(inherited);
    if (inheritOnly.Get() == nullptr) {
        error = GetLastError();
        return nullptr;
    }

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.lpAttributeList = inheritOnly.Get();
    std::wstring commandLine = L"\"" + path + L"\" --channel " + HandleNumber(hostRequests.Get()) + L" " +
                               HandleNumber(hostReports.Get());
    PROCESS_INFORMATION created{};
    // Suspended until it is in the job, so that not one instruction of it runs outside.
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        EXTENDED_STARTUPINFO_PRESENT | CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup.StartupInfo, &created)) {
        error = GetLastError();
        return nullptr;
    }
    const UniqueHandle thread(created.hThread);
    host->process_.Reset(created.hProcess);
    host->job_ = KillOnCloseJob();
    // Where the program sits in a job that allows no nested one (Windows 7), the host still ends
    // itself when its request pipe breaks.
    if (host->job_ && !AssignProcessToJobObject(host->job_.Get(), host->process_.Get()))
        host->job_.Reset();
    ResumeThread(thread.Get());
    return host;
}

EngineHostProcess::~EngineHostProcess() {
    // The host ends when its request pipe breaks; the job ends it at once in any case.
    requests_.Reset();
    if (!WaitForExit(0))
        Terminate();
}

bool EngineHostProcess::Send(const std::vector<std::uint8_t>& bytes) {
    return WriteAll(requests_.Get(), bytes);
}

std::size_t EngineHostProcess::Receive(std::uint8_t* buffer, std::size_t capacity) {
    DWORD read = 0;
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 20));
    if (!ReadFile(reports_.Get(), buffer, wanted, &read, nullptr))
        return 0;
    return read;
}

void EngineHostProcess::Terminate(std::uint32_t exitCode) {
    TerminateProcess(process_.Get(), exitCode);
}

bool EngineHostProcess::WaitForExit(std::uint32_t ms) {
    return WaitForSingleObject(process_.Get(), ms) == WAIT_OBJECT_0;
}

std::optional<std::uint32_t> EngineHostProcess::ExitCode() {
    DWORD code = 0;
    if (!WaitForExit(0) || !GetExitCodeProcess(process_.Get(), &code))
        return std::nullopt;
    return code;
}

} // namespace tarnvel
