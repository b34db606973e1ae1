#include "app/mini_dumper.h"

#include "platform/dll_search.h"
#include "platform/unique_handle.h"
#include "text/code_page.h"
#include "text/text_format.h"

#include <dbghelp.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <exception>

namespace tarnvel {

namespace {

std::atomic<MiniDumper*> registeredDumper{nullptr};
// The thread whose crash is being written. Others that crash meanwhile wait for the end of the
// process instead of writing into the same file.
std::atomic<DWORD> crashedThread{0};
std::atomic<std::terminate_handler> previousTerminate{nullptr};

// The thread that writes the dump, made at the start: a thread whose stack overflowed has too
// little left to write one itself. Its handles live as long as the process.
struct DumpWriterThread {
    HANDLE crashRaised = nullptr; // set by the crashed thread
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    std::atomic<EXCEPTION_POINTERS*> exceptionInfo{nullptr};
};
DumpWriterThread dumpWriter;
constexpr SIZE_T kDumpWriterStack = 256 * 1024; // MiniDumpWriteDump walks every thread's stack

constexpr wchar_t kDumpExtension[] = L".dmp";
constexpr std::size_t kMaxDumpNameLength = 1 + 11 + 4; // "\", "-2147483648", ".dmp"; the prefix besides

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

// Appends "\<n>.dmp" with the time's low 32 bits as a signed number. Allocates nothing when the
// string's capacity already holds the name: this runs in a process that has just crashed.
void AppendDumpFileName(std::wstring& path, std::int64_t crashTime, std::wstring_view prefix) {
    const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(crashTime));
    std::uint32_t magnitude =
        low < 0 ? 0u - static_cast<std::uint32_t>(low) : static_cast<std::uint32_t>(low);
    wchar_t digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    path.push_back(L'\\');
    path.append(prefix);
    if (low < 0)
        path.push_back(L'-');
    while (count > 0)
        path.push_back(digits[--count]);
    path.append(kDumpExtension);
}

} // namespace

MiniDumper::MiniDumper(DumpOptions options)
    : namePrefix_(options.namePrefix), exitWithExceptionCode_(options.exitWithExceptionCode),
      onCrash_(options.onCrash) {
    const std::wstring exePath = ExecutablePath();
    if (!exePath.empty()) {
        dumpFolder_ = FolderOfPath(exePath) + L"\\DumpLog";
        CreateDirectoryW(dumpFolder_.c_str(), nullptr); // an existing folder is fine
        dumpFilePath_.reserve(dumpFolder_.size() + namePrefix_.size() + kMaxDumpNameLength);
    }
    // Found now, from System32 alone: a crash is no time to load a library, and the program's folder
    // may hold a file of that name that nobody should run.
    dbghelp_.Reset(LoadSystemLibrary(L"dbghelp.dll"));
    if (dbghelp_)
        writeDump_ = reinterpret_cast<void*>(GetProcAddress(dbghelp_.Get(), "MiniDumpWriteDump"));

    MiniDumper* expected = nullptr;
    if (registeredDumper.compare_exchange_strong(expected, this)) {
        if (dumpWriter.thread == nullptr) {
            dumpWriter.crashRaised = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            if (dumpWriter.crashRaised != nullptr)
                dumpWriter.thread = CreateThread(nullptr, kDumpWriterStack, &MiniDumper::DumpWriter, nullptr,
                                                 STACK_SIZE_PARAM_IS_A_RESERVATION, &dumpWriter.threadId);
        }
        SetUnhandledExceptionFilter(&MiniDumper::OnUnhandledException);
        previousTerminate = std::set_terminate(&MiniDumper::OnTerminate);
    }
}

void MiniDumper::ReassertFilter() {
    if (registeredDumper.load() != nullptr)
        SetUnhandledExceptionFilter(&MiniDumper::OnUnhandledException);
}

DWORD WINAPI MiniDumper::DumpWriter(void*) {
    WaitForSingleObject(dumpWriter.crashRaised, INFINITE);
    EXCEPTION_POINTERS* const exceptionInfo = dumpWriter.exceptionInfo.load();
    if (MiniDumper* dumper = registeredDumper.load())
        dumper->WriteDumpOf(crashedThread.load(), exceptionInfo);
    TerminateProcess(GetCurrentProcess(), exceptionInfo->ExceptionRecord->ExceptionCode);
    return 0;
}

MiniDumper::~MiniDumper() {
    MiniDumper* expected = this;
    if (registeredDumper.compare_exchange_strong(expected, nullptr))
        std::set_terminate(previousTerminate);
}

bool MiniDumper::IsRegistered() const {
    return registeredDumper.load() == this;
}

std::wstring MiniDumper::DumpFileName(const std::wstring& folder, std::int64_t crashTime,
                                      std::wstring_view prefix) {
    std::wstring path = folder;
    AppendDumpFileName(path, crashTime, prefix);
    return path;
}

void MiniDumper::MakeDumpFileName() {
    dumpFilePath_.assign(dumpFolder_);
    AppendDumpFileName(dumpFilePath_, crashTime_, namePrefix_);
}

LONG WINAPI MiniDumper::OnUnhandledException(EXCEPTION_POINTERS* exceptionInfo) {
    MiniDumper* dumper = registeredDumper.load();
    return dumper ? dumper->WriteDumpAndExit(exceptionInfo) : EXCEPTION_CONTINUE_SEARCH;
}

// Called by the C++ runtime for an exception nothing catches (or a broken noexcept) on any
// thread. The dump is written from here, with this thread's context, rather than by raising an
// SEH exception: a catch (...) further up the stack could take that one and carry on.
void MiniDumper::OnTerminate() {
    if (MiniDumper* dumper = registeredDumper.load()) {
        CONTEXT context{};
        RtlCaptureContext(&context);
        EXCEPTION_RECORD record{};
        record.ExceptionCode = kUncaughtCppException;
        record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
#if defined(_WIN64)
        record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
#else
        record.ExceptionAddress = reinterpret_cast<void*>(context.Eip);
#endif
        EXCEPTION_POINTERS pointers{&record, &context};
        dumper->WriteDumpAndExit(&pointers);
    }
    if (const std::terminate_handler previous = previousTerminate.load())
        previous();
    std::abort();
}

// Runs on the crashed thread, which may have next to no stack left: it hands the crash to the
// dump writer and waits for the end of the process, which the writer brings.
LONG MiniDumper::WriteDumpAndExit(EXCEPTION_POINTERS* exceptionInfo) {
    const DWORD self = GetCurrentThreadId();
    if (self == dumpWriter.threadId)
        TerminateProcess(GetCurrentProcess(), exceptionInfo->ExceptionRecord->ExceptionCode); // it crashed
    DWORD idle = 0;
    if (!crashedThread.compare_exchange_strong(idle, self)) {
        if (idle == self)
            TerminateProcess(GetCurrentProcess(), 0); // the crash handling itself crashed
        else
            Sleep(INFINITE); // another thread's crash is being written; its end ends us too
        return 0;
    }
    if (dumpWriter.thread != nullptr) {
        dumpWriter.exceptionInfo = exceptionInfo;
        SetEvent(dumpWriter.crashRaised);
        WaitForSingleObject(dumpWriter.thread, INFINITE);
    }
    // No writer thread could be made at the start: the crashed thread writes what it can.
    return WriteDumpOf(self, exceptionInfo);
}

LONG MiniDumper::WriteDumpOf(DWORD threadId, EXCEPTION_POINTERS* exceptionInfo) {
    crashTime_ = static_cast<std::int64_t>(std::time(nullptr));
    exceptionInfo_ = exceptionInfo;
    LONG result = 0;
    if (onCrash_ != nullptr)
        onCrash_();

    const auto writeDump = reinterpret_cast<MiniDumpWriteDumpFn>(writeDump_);
    if (writeDump != nullptr && !dumpFolder_.empty()) {
        MakeDumpFileName();
        const UniqueHandle file(CreateFileW(dumpFilePath_.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            MINIDUMP_EXCEPTION_INFORMATION info{threadId, exceptionInfo_, FALSE};
            auto* userStreams = static_cast<PMINIDUMP_USER_STREAM_INFORMATION>(GetUserStreams());
            if (writeDump(GetCurrentProcess(), GetCurrentProcessId(), file.Get(), MiniDumpNormal, &info,
                          userStreams, nullptr))
                result = 1;
        }
    }
    TerminateProcess(GetCurrentProcess(),
                     exitWithExceptionCode_ ? exceptionInfo->ExceptionRecord->ExceptionCode : 0);
    return result;
}

} // namespace tarnvel
