#include "download/download_controller.h"

#include "download/controller_core.h"
#include "download/engine_events.h"
#include "download/event_lines.h"
#include "download/package_header.h"
#include "text/code_page.h"

#include <process.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>

namespace tarnvel {

namespace detail {

namespace {

// How long a RunThread gets to leave DownloadRun by itself after DownloadStop before it is
// ended by force: ending a thread inside the engine can leave the engine's locks taken.
constexpr DWORD kRunGraceMs = 1000;
// How long Shutdown waits for threads inside the engine before it leaves the engine loaded.
constexpr DWORD kEngineThreadsMs = 10000;
constexpr DWORD kPollMs = 2;

std::atomic<ControllerCore*> g_core{nullptr};
std::atomic<int> g_activeCallbacks{0};
thread_local RunGate* t_runGate = nullptr;

// Controllers whose shutdown had to leave a thread behind inside the engine or a callback:
// they stay alive until the process ends, so that thread never meets freed memory.
std::mutex g_strandedMutex;
std::vector<std::shared_ptr<ControllerCore>> g_stranded;

// While the UI thread waits it still handles messages sent to its windows: the hooks that
// worker threads call act on those windows, and some window calls send and wait.
void HandleSentMessages() {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

bool WaitHandle(HANDLE handle, DWORD timeoutMs, bool keepMessagesFlowing) {
    if (!keepMessagesFlowing)
        return WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (timeoutMs != INFINITE && elapsed >= timeoutMs)
            return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        const DWORD left = timeoutMs == INFINITE ? INFINITE : static_cast<DWORD>(timeoutMs - elapsed);
        const DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0)
            return true;
        if (result == WAIT_OBJECT_0 + 1)
            HandleSentMessages();
        else if (result == WAIT_FAILED)
            return false;
    }
}

template <typename Done> bool WaitUntil(Done done, DWORD timeoutMs, bool keepMessagesFlowing) {
    const ULONGLONG start = GetTickCount64();
    while (!done()) {
        if (timeoutMs != INFINITE && GetTickCount64() - start >= timeoutMs)
            return done();
        if (keepMessagesFlowing) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_SENDMESSAGE);
            HandleSentMessages();
        } else {
            Sleep(kPollMs);
        }
    }
    return true;
}

bool HasEnded(const UniqueHandle& thread) {
    return !thread || WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0;
}

unsigned __stdcall ThreadEntry(void* body) {
    std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(body));
    (*run)();
    return 0;
}

// RunThread touches nothing but its gate, so ending it by force leaks nothing of the controller.
unsigned __stdcall RunThreadEntry(void* argument) {
    auto* gate = static_cast<RunGate*>(argument);
    t_runGate = gate;
    if (gate->run) {
        std::int32_t reserved = 0;
        gate->run(&reserved);
    }
    gate->returned = true;
    t_runGate = nullptr;
    return 0;
}

UniqueHandle StartThread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    const auto handle = _beginthreadex(nullptr, 0, ThreadEntry, owned.get(), 0, nullptr);
    if (handle == 0)
        return {};
    owned.release(); // the thread owns it now
    return UniqueHandle(reinterpret_cast<HANDLE>(handle));
}

void PruneEnded(std::vector<UniqueHandle>& threads) {
    threads.erase(
        std::remove_if(threads.begin(), threads.end(), [](const UniqueHandle& t) { return HasEnded(t); }),
        threads.end());
}

// Ends one RunThread: first the grace period, then, once it is outside our callbacks, by force.
void EndRun(RunGate& gate, bool keepMessagesFlowing) {
    if (!gate.thread || WaitHandle(gate.thread.Get(), kRunGraceMs, keepMessagesFlowing))
        return;
    gate.ending = true;
    WaitUntil([&gate] { return !gate.inCallback.load(); }, INFINITE, keepMessagesFlowing);
    if (!gate.returned && WaitForSingleObject(gate.thread.Get(), 0) == WAIT_TIMEOUT)
        TerminateThread(gate.thread.Get(), 0);
    WaitHandle(gate.thread.Get(), kRunGraceMs, keepMessagesFlowing);
}

} // namespace

CallbackScope::CallbackScope() {
    gate_ = t_runGate;
    if (gate_ != nullptr) {
        gate_->inCallback = true;
        if (gate_->ending) {
            // This thread is about to be ended: wait for that here, holding nothing.
            gate_->inCallback = false;
            for (;;)
                Sleep(INFINITE);
        }
    }
    g_activeCallbacks.fetch_add(1);
    core_ = g_core.load();
}

CallbackScope::~CallbackScope() {
    g_activeCallbacks.fetch_sub(1);
    if (gate_ != nullptr)
        gate_->inCallback = false;
}

ControllerCore::ControllerCore() : shutdownEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

ControllerCore::~ControllerCore() = default;

void ControllerCore::CallHook(int slot, std::intptr_t value) const {
    if (const DownloadHook hook = hooks[static_cast<std::size_t>(slot)].load())
        hook(value);
}

void ControllerCore::PostCommand(int code) {
    command = code;
    commandPending = 1;
}

void ControllerCore::StartVerifyThread() {
    auto self = shared_from_this();
    std::lock_guard lock(threadsMutex);
    if (shuttingDown)
        return;
    PruneEnded(workers);
    if (auto thread = StartThread([self] { self->VerifyThread(); }))
        workers.push_back(std::move(thread));
}

void ControllerCore::StartRunThread() {
    auto gate = std::make_shared<RunGate>();
    gate->run = exports.run;
    std::lock_guard lock(threadsMutex);
    if (shuttingDown)
        return;
    runs.erase(
        std::remove_if(runs.begin(), runs.end(), [](const auto& run) { return HasEnded(run->thread); }),
        runs.end());
    const auto handle = _beginthreadex(nullptr, 0, RunThreadEntry, gate.get(), 0, nullptr);
    if (handle == 0)
        return;
    gate->thread = UniqueHandle(reinterpret_cast<HANDLE>(handle));
    runs.push_back(std::move(gate));
}

std::vector<std::shared_ptr<RunGate>> ControllerCore::TakeRuns() {
    std::lock_guard lock(threadsMutex);
    return std::exchange(runs, {});
}

void ControllerCore::StopEngine(std::vector<std::shared_ptr<RunGate>> taken, bool keepMessagesFlowing) {
    exports.stop();
    for (const auto& gate : taken)
        EndRun(*gate, keepMessagesFlowing);
    // A thread that could not be ended still runs on its gate: keep the gate.
    std::lock_guard lock(threadsMutex);
    for (auto& gate : taken) {
        if (!HasEnded(gate->thread))
            runs.push_back(std::move(gate));
    }
}

void ControllerCore::StartStopThread() {
    auto self = shared_from_this();
    std::lock_guard lock(threadsMutex);
    if (shuttingDown)
        return;
    PruneEnded(workers);
    auto thread = StartThread([self] {
        if (!self->exports.stop)
            return; // the run goes on: there is no way to ask the engine to stop
        // Only the runs under way now are this stop's to end, not one started after it.
        self->StopEngine(self->TakeRuns(), false);
    });
    if (thread)
        workers.push_back(std::move(thread));
}

bool ControllerCore::PackageRefused() {
    std::lock_guard lock(pathMutex);
    return packageRefused;
}

void ControllerCore::VerifyThread() {
    std::lock_guard lock(verifyMutex);
    std::wstring path;
    {
        std::lock_guard pathLock(pathMutex);
        path = packagePath;
    }
    std::wstring model;
    ReadPackageModel(path, model);
    const std::wstring_view engineName = ModelForEngine(model);
    auto copyInto = [](std::array<wchar_t, kPackagePathCapacity>& field, std::wstring_view text) {
        const std::size_t length = std::min(text.size(), field.size() - 1);
        std::copy_n(text.begin(), length, field.begin());
        field[length] = L'\0';
    };
    copyInto(enginePath, path);
    copyInto(engineModel, engineName);
    if (exports.init) {
        EngineInitParams params{};
        params.packagePath = enginePath.data();
        params.extraText = engineExtra;
        params.modelName = engineModel.data();
        params.setting1 = 2;
        params.setting2 = 3;
        params.setting3 = 1;
        params.setting4 = 0;
        params.switch1 = params.switch2 = params.switch3 = params.switch4 = 1;
        params.switch5 = params.switch6 = params.switch7 = 1;
        params.onCheckdataStatus = &UCheckdataStatus;
        params.onMonitorStatus = &UMonitorStatus;
        params.onSendMsgInfo = &USendMsgInfo;
        params.onShowProgress = &UShowProgress;
        params.onTestStatus = &UTestStatus;
        if (exports.init(&params) == 0)
            return;
    }
    if (exports.verify)
        exports.verify();
}

void ControllerCore::ControlThread() {
    while (!controlStop) {
        if (commandPending) {
            switch (command.load()) {
            case CmdEndLog:
                commandPending = 0;
                cellLog->CloseLog(0);
                break;
            case CmdVerify:
                if (PackageRefused()) {
                    // Verifying the previous path would check a file the user did not choose.
                    commandPending = 0;
                    break;
                }
                cellLog->OpenLog(0);
                commandPending = 0;
                StartVerifyThread();
                break;
            case CmdVerifyPassed:
                CallHook(SlotVerifyPassed, 0);
                command = CmdRun;
                commandPending = 1;
                break;
            case CmdRun:
                commandPending = 0;
                StartRunThread();
                break;
            case CmdFinish:
                CallHook(SlotUpgradeSucceeded, 0);
                commandPending = 0;
                StartStopThread();
                cellLog->CloseLog(0);
                closeAllowed = true;
                break;
            default:
                break; // not ours: it stays pending
            }
        }
        Sleep(20);
    }
}

} // namespace detail

using detail::ControllerCore;

DownloadController::DownloadController() : core_(std::make_shared<ControllerCore>()) {
    core_->cellLog = std::make_unique<CellLog>();
    core_->exeFolder = ExecutableFolder();
    detail::g_core = core_.get();
}

DownloadController::~DownloadController() {
    Shutdown();
}

void DownloadController::SetHooks(const DownloadHooks& hooks) {
    const DownloadHook table[detail::kHookSlots] = {
        hooks.OnDeviceMode,   hooks.OnReserved1,        hooks.OnDeviceInfo,     hooks.OnDeviceLost,
        hooks.OnVerifyPassed, hooks.OnVerifyFailed,     hooks.OnUpgradeStarted, hooks.OnReserved7,
        hooks.OnProgress,     hooks.OnUpgradeSucceeded, hooks.OnUpgradeFailed,  hooks.OnReserved11,
        hooks.OnUpgradeBegin,
    };
    for (std::size_t slot = 0; slot < detail::kHookSlots; ++slot)
        core_->hooks[slot] = table[slot];
}

void DownloadController::LoadEngine() {
    ControllerCore& core = *core_;
    if (core.engine != nullptr || core.shuttingDown)
        return;
    const std::wstring path = core.exeFolder + L"\\dVarnok.dll";
    core.engine = LoadLibraryW(path.c_str());
    if (core.engine == nullptr)
        return;
    auto find = [&core](const char* name) {
        const FARPROC address = GetProcAddress(core.engine, name);
        if (address == nullptr) {
            // The step that needs it is skipped without a word to the user; a debugger hears of it.
            const std::string message = std::string("dVarnok.dll lacks the export ") + name + "\n";
            OutputDebugStringA(message.c_str());
        }
        return address;
    };
    // GetProcAddress answers with a generic function pointer; the engine's table fixes the types.
    core.exports.init =
        reinterpret_cast<InitDownloadObjFn>(reinterpret_cast<void (*)()>(find(kInitDownloadObjName)));
    core.exports.verify =
        reinterpret_cast<VerifyDataofRZBFn>(reinterpret_cast<void (*)()>(find(kVerifyDataofRZBName)));
    core.exports.run = reinterpret_cast<DownloadRunFn>(reinterpret_cast<void (*)()>(find(kDownloadRunName)));
    core.exports.stop =
        reinterpret_cast<DownloadStopFn>(reinterpret_cast<void (*)()>(find(kDownloadStopName)));
    core.exports.release =
        reinterpret_cast<ReleaseDownloadObjFn>(reinterpret_cast<void (*)()>(find(kReleaseDownloadObjName)));
    auto self = core_;
    core.controlThread = detail::StartThread([self] { self->ControlThread(); });
}

bool DownloadController::SetPackagePath(std::wstring_view path) {
    const bool fits =
        path.size() < detail::kPackagePathCapacity && path.find(L'\0') == std::wstring_view::npos;
    std::lock_guard lock(core_->pathMutex);
    core_->packageRefused = !fits;
    if (fits)
        core_->packagePath.assign(path);
    return fits;
}

void DownloadController::PostCommand(int command) {
    core_->PostCommand(command);
}

void DownloadController::BeginStop() {
    core_->StartStopThread();
}

bool DownloadController::IsCloseAllowed() const {
    return core_->closeAllowed;
}

void DownloadController::Shutdown() {
    ControllerCore& core = *core_;
    if (core.shuttingDown.exchange(true))
        return;
    bool clean = true;
    core.controlStop = true;
    if (core.controlThread)
        detail::WaitHandle(core.controlThread.Get(), INFINITE, true);
    {
        // Starters check shuttingDown under this lock: once it is taken here, a start that
        // was under way has registered its thread, and no later one will start.
        std::lock_guard lock(core.threadsMutex);
    }
    SetEvent(core.shutdownEvent.Get());

    if (core.engine != nullptr) {
        if (core.exports.stop)
            core.StopEngine(core.TakeRuns(), true);
        bool engineIdle = true;
        {
            std::lock_guard lock(core.threadsMutex);
            for (const auto& run : core.runs)
                engineIdle = engineIdle && detail::HasEnded(run->thread);
        }
        std::vector<HANDLE> workers;
        {
            std::lock_guard lock(core.threadsMutex);
            for (const auto& worker : core.workers)
                workers.push_back(worker.Get());
        }
        for (HANDLE worker : workers)
            engineIdle = detail::WaitHandle(worker, detail::kEngineThreadsMs, true) && engineIdle;
        // Releasing or unloading the engine under a thread still inside it would crash that
        // thread; the process is about to end, so the engine then simply stays.
        if (engineIdle) {
            if (core.exports.release)
                core.exports.release();
            // A callback still returning into the engine must be out of it before it goes.
            if (detail::WaitUntil([] { return detail::g_activeCallbacks.load() == 0; },
                                  detail::kEngineThreadsMs, true))
                FreeLibrary(core.engine);
            else
                clean = false;
        } else {
            clean = false;
        }
        core.engine = nullptr;
    }

    ControllerCore* registered = &core;
    detail::g_core.compare_exchange_strong(registered, nullptr);
    if (detail::WaitUntil([] { return detail::g_activeCallbacks.load() == 0; }, detail::kEngineThreadsMs,
                          true))
        core.cellLog.reset(); // writes out every queued line
    else
        clean = false;
    if (!clean) {
        std::lock_guard lock(detail::g_strandedMutex);
        detail::g_stranded.push_back(core_);
    }
}

} // namespace tarnvel
