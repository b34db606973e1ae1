// TarnVel Engine Host: holds the download engine library for the program, in a process of its own,
// so that an engine that hangs, crashes or keeps its locks can be ended whole without taking the
// window with it. It has no window and no console; it lives as long as its channel to the program
// (two inherited pipe ends named on its command line) and serves nothing else.
#include "app/mini_dumper.h"
#include "download/engine_interface.h"
#include "download/host_protocol.h"
#include "platform/dll_search.h"
#include "platform/write_all.h"

#include <windows.h>

#include <process.h>

#include <cwchar>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarnvel {

namespace {

using namespace host;

// Exit codes: the program tells a host that it ended from one that went away on its own.
constexpr UINT kChannelClosed = 0; // the program closed the channel: the ordinary end
constexpr int kNoChannel = 2;      // started by hand, or with handles that are no pipes
constexpr UINT kChannelFault = 3;  // the program's bytes did not decode, or could not be sent

// How long a reported success holds the engine's thread, unless the program stops first.
constexpr DWORD kSuccessHoldMs = 2000;
// How long a crash, or the ordinary end, waits for the reports queued before it to be written.
constexpr DWORD kCrashFlushMs = 1000;

struct Channel {
    HANDLE requests;
    HANDLE reports;
};

// "--channel <requests> <reports>": two handles this process inherited, both pipes.
std::optional<Channel> ChannelFromCommandLine() {
    const wchar_t* rest = std::wcsstr(GetCommandLineW(), L" --channel ");
    if (rest == nullptr)
        return std::nullopt;
    rest += std::wcslen(L" --channel ");
    wchar_t* end = nullptr;
    const unsigned long long requests = std::wcstoull(rest, &end, 10);
    if (end == rest || *end != L' ')
        return std::nullopt;
    rest = end + 1;
    const unsigned long long reports = std::wcstoull(rest, &end, 10);
    if (end == rest || *end != L'\0' || requests == reports)
        return std::nullopt;
    const Channel channel{reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(requests)),
                          reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(reports))};
    if (GetFileType(channel.requests) != FILE_TYPE_PIPE || GetFileType(channel.reports) != FILE_TYPE_PIPE)
        return std::nullopt;
    return channel;
}

// Ends at once: no library's detach runs, so an engine stuck in its own code cannot hold the end up.
[[noreturn]] void End(UINT code) {
    TerminateProcess(GetCurrentProcess(), code);
    ExitProcess(code); // not reached
}

// The reports' way back, in the order the engine's threads made them. An engine thread only queues
// its report: the writer thread does the pipe's writes, so a callback returns to the engine at once.
class Outbox {
public:
    explicit Outbox(HANDLE pipe) : pipe_(pipe) {}

    bool StartWriter() {
        const auto thread = _beginthreadex(nullptr, 0, WriterEntry, this, 0, nullptr);
        if (thread == 0)
            return false;
        CloseHandle(reinterpret_cast<HANDLE>(thread));
        return true;
    }

    void Send(const Report& report) {
        auto bytes = Encode(report);
        {
            std::lock_guard guard(lock_);
            queued_.insert(queued_.end(), bytes.begin(), bytes.end());
        }
        changed_.notify_all();
    }

    // Waits, at most `ms`, until everything queued so far is written.
    void Flush(DWORD ms) {
        std::unique_lock guard(lock_);
        changed_.wait_for(guard, std::chrono::milliseconds(ms),
                          [this] { return queued_.empty() && !writing_; });
    }

private:
    static unsigned __stdcall WriterEntry(void* self) {
        static_cast<Outbox*>(self)->Write();
        return 0;
    }

    [[noreturn]] void Write() {
        std::vector<std::uint8_t> batch;
        for (;;) {
            {
                std::unique_lock guard(lock_);
                writing_ = false;
                changed_.notify_all();
                changed_.wait(guard, [this] { return !queued_.empty(); });
                batch.swap(queued_);
                writing_ = true;
            }
            if (!WriteAll(pipe_, batch))
                End(kChannelFault); // the program is gone, or no longer reads
            batch.clear();
        }
    }

    std::mutex lock_; // guards queued_ and writing_
    std::condition_variable changed_;
    std::vector<std::uint8_t> queued_;
    bool writing_ = false;
    const HANDLE pipe_;
};

// The engine's callbacks carry no context: one host, one engine, one outbox.
Outbox* g_outbox = nullptr;
// Set once the program stops or releases the engine: it cuts a success hold short.
HANDLE g_stopping = nullptr;

void TARNVEL_ENGINE_CALL RelayMsgInfo(MsgInfoRecord record) noexcept {
    g_outbox->Send(record);
}
void TARNVEL_ENGINE_CALL RelayProgress(std::int32_t cell, std::int32_t total, std::int32_t done) noexcept {
    g_outbox->Send(ProgressReport{cell, total, done});
}
void TARNVEL_ENGINE_CALL RelayTestStatus(std::int32_t cell, std::int32_t code, std::int32_t status) noexcept {
    g_outbox->Send(TestStatusReport{cell, code, status});
    if (cell == 0 && static_cast<TestStatus>(status) == TestStatus::Succeeded)
        WaitForSingleObject(g_stopping, kSuccessHoldMs);
}
void TARNVEL_ENGINE_CALL RelayMonitorStatus(MonitorStatusRecord record) noexcept {
    g_outbox->Send(record);
}
void TARNVEL_ENGINE_CALL RelayCheckdata(CheckdataStatusRecord record) noexcept {
    g_outbox->Send(record);
}

struct Engine {
    HMODULE library = nullptr;
    std::uint32_t loadError = 0;
    InitDownloadObjFn init = nullptr;
    VerifyDataofRZBFn verify = nullptr;
    DownloadRunFn run = nullptr;
    DownloadStopFn stop = nullptr;
    ReleaseDownloadObjFn release = nullptr;

    std::uint8_t Exports() const {
        std::uint8_t mask = 0;
        const bool present[kExportCount] = {init != nullptr, verify != nullptr, run != nullptr,
                                            stop != nullptr, release != nullptr};
        for (std::uint8_t i = 0; i < kExportCount; ++i)
            mask |= present[i] ? std::uint8_t(1u << i) : 0;
        return mask;
    }
};

template <typename Fn> Fn Find(HMODULE library, const char* name) {
    // GetProcAddress answers with a generic function pointer; the engine's table fixes the types.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// dVarnok.dll beside this program, by its full path; it stays loaded until the process ends.
Engine LoadEngine() {
    Engine engine;
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            engine.loadError = GetLastError();
            return engine;
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.resize(path.find_last_of(L'\\') + 1);
    path += L"dVarnok.dll";
    const HMODULE library = LoadLibraryW(path.c_str());
    if (library == nullptr) {
        engine.loadError = GetLastError();
        return engine;
    }
    engine.library = library;
    engine.init = Find<InitDownloadObjFn>(library, kInitDownloadObjName);
    engine.verify = Find<VerifyDataofRZBFn>(library, kVerifyDataofRZBName);
    engine.run = Find<DownloadRunFn>(library, kDownloadRunName);
    engine.stop = Find<DownloadStopFn>(library, kDownloadStopName);
    engine.release = Find<ReleaseDownloadObjFn>(library, kReleaseDownloadObjName);
    return engine;
}

// One export call on a thread of its own, so that the request reader stays free: a stop must reach
// the engine while it verifies or downloads. Its return is reported from that thread, after every
// report the engine made on it.
struct PendingCall {
    const Engine* engine;
    EngineExport which;
    EngineInitParams* params; // InitDownloadObj's record
};

// Calls under way inside the engine: the ordinary end unloads the library only when there is none.
std::atomic<int> g_callsInside{0};

unsigned __stdcall CallThread(void* context) {
    const std::unique_ptr<PendingCall> owned(static_cast<PendingCall*>(context));
    const PendingCall call = *owned;
    std::int32_t result = 0;
    std::int32_t reserved = 0;
    switch (call.which) {
    case EngineExport::Init:
        result = call.engine->init(call.params);
        break;
    case EngineExport::Verify:
        call.engine->verify();
        break;
    case EngineExport::Run:
        call.engine->run(&reserved);
        break;
    case EngineExport::Stop:
        call.engine->stop();
        break;
    case EngineExport::Release:
        call.engine->release();
        break;
    }
    --g_callsInside;
    // The engine may have put in a crash filter of its own while inside.
    MiniDumper::ReassertFilter();
    g_outbox->Send(ReturnedReport{call.which, result});
    return 0;
}

class Server {
public:
    explicit Server(const Engine& engine) : engine_(engine) {}

    void CarryOut(const Request& request) {
        if (const auto* init = std::get_if<InitRequest>(&request)) {
            ResetEvent(g_stopping);
            Call(EngineExport::Init, engine_.init != nullptr, Record(*init));
            return;
        }
        const EngineExport which = std::get<CallRequest>(request).which;
        bool present = false;
        switch (which) {
        case EngineExport::Verify:
            present = engine_.verify != nullptr;
            break;
        case EngineExport::Run:
            present = engine_.run != nullptr;
            break;
        case EngineExport::Stop:
            SetEvent(g_stopping);
            present = engine_.stop != nullptr;
            break;
        case EngineExport::Release:
            SetEvent(g_stopping);
            present = engine_.release != nullptr;
            break;
        case EngineExport::Init:
            break; // comes with its record, above
        }
        Call(which, present, nullptr);
    }

private:
    void Call(EngineExport which, bool present, EngineInitParams* params) {
        if (present) {
            auto call = std::make_unique<PendingCall>(PendingCall{&engine_, which, params});
            ++g_callsInside;
            const auto thread = _beginthreadex(nullptr, 0, CallThread, call.get(), 0, nullptr);
            if (thread == 0)
                --g_callsInside;
            if (thread != 0) {
                call.release(); // the thread owns it now
                CloseHandle(reinterpret_cast<HANDLE>(thread));
                return;
            }
        }
        g_outbox->Send(ReturnedReport{which, 0});
    }

    // The engine may keep what it was handed: every record and text lives until the process ends.
    EngineInitParams* Record(const InitRequest& init) {
        texts_.push_back(init.packagePath);
        const wchar_t* packagePath = texts_.back().c_str();
        texts_.push_back(init.extraText);
        const wchar_t* extraText = texts_.back().c_str();
        texts_.push_back(init.modelName);
        const wchar_t* modelName = texts_.back().c_str();
        EngineInitParams& params = records_.emplace_back();
        params.packagePath = packagePath;
        params.extraText = extraText;
        params.modelName = modelName;
        params.setting1 = init.settings[0];
        params.setting2 = init.settings[1];
        params.setting3 = init.settings[2];
        params.setting4 = init.settings[3];
        params.switch1 = init.switches[0];
        params.switch2 = init.switches[1];
        params.switch3 = init.switches[2];
        params.switch4 = init.switches[3];
        params.switch5 = init.switches[4];
        params.switch6 = init.switches[5];
        params.switch7 = init.switches[6];
        params.onCheckdataStatus = RelayCheckdata;
        params.onMonitorStatus = RelayMonitorStatus;
        params.onSendMsgInfo = RelayMsgInfo;
        params.onShowProgress = RelayProgress;
        params.onTestStatus = RelayTestStatus;
        return &params;
    }

    const Engine& engine_;
    std::list<std::wstring> texts_;
    std::list<EngineInitParams> records_;
};

// A crash of the engine: what it said before goes out first, so that nothing it said is lost.
void FlushReports() {
    if (g_outbox != nullptr)
        g_outbox->Flush(kCrashFlushMs);
}

[[noreturn]] void Serve(const Channel& channel) {
    Outbox outbox(channel.reports);
    if (!outbox.StartWriter())
        End(kChannelFault);
    g_outbox = &outbox;
    g_stopping = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const Engine engine = LoadEngine();
    MiniDumper::ReassertFilter(); // the engine's start may have put in a crash filter of its own
    outbox.Send(ReadyReport{engine.loadError, engine.Exports()});

    Server server(engine);
    FrameReader reader;
    std::uint8_t buffer[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(channel.requests, buffer, sizeof(buffer), &read, nullptr) || read == 0) {
            reader.EndOfStream();
            if (reader.Fault() != ChannelFault::None)
                End(kChannelFault);
            outbox.Flush(kCrashFlushMs);
            // The ordinary end lets the library go as a program would, when no call is inside it.
            // The program waits a bounded time for this: an engine that hangs in its unload is
            // ended with the process.
            if (g_callsInside == 0 && engine.library != nullptr)
                FreeLibrary(engine.library);
            End(kChannelClosed);
        }
        reader.Append(buffer, read);
        while (const auto frame = reader.Next()) {
            Request request;
            if (Decode(*frame, request) != ChannelFault::None)
                End(kChannelFault);
            server.CarryOut(request);
        }
        if (reader.Fault() != ChannelFault::None)
            End(kChannelFault);
    }
}

} // namespace

} // namespace tarnvel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Started by hand, or without its channel: nothing is loaded and nothing is touched.
    const auto channel = tarnvel::ChannelFromCommandLine();
    if (!channel)
        return tarnvel::kNoChannel;
    // The vendor's engine may need libraries it ships beside itself.
    tarnvel::HardenDllSearchPath(tarnvel::DllSearch::AlsoProgramFolder);
    // A crash of the engine leaves a dump beside the program's own, and its code as the exit code,
    // which the program reports.
    static tarnvel::MiniDumper dumper({.namePrefix = tarnvel::kEngineHostDumpPrefix,
                                       .exitWithExceptionCode = true,
                                       .onCrash = &tarnvel::FlushReports});
    tarnvel::Serve(*channel);
}
