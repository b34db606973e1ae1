#include "download/controller_core.h"

#include "download/engine_events.h"
#include "download/event_lines.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tarnvel::detail {

namespace {

std::atomic<ControllerCore*> g_core{nullptr};
std::atomic<int> g_activeCallbacks{0};
thread_local RunGate* t_runGate = nullptr;

// Controllers whose shutdown had to leave a thread behind inside the engine or a callback:
// they stay alive until the process ends, so that thread never meets freed memory.
std::mutex g_strandedMutex;
std::vector<std::shared_ptr<ControllerCore>> g_stranded;

unsigned TARNVEL_THREAD_CALL FunctionEntry(void* body) {
    std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(body));
    (*run)();
    return 0;
}

// RunThread touches nothing but its gate, so ending it by force leaks nothing of the controller.
unsigned TARNVEL_THREAD_CALL RunThreadEntry(void* argument) {
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

void PruneEnded(std::vector<std::unique_ptr<WorkerThread>>& threads) {
    threads.erase(std::remove_if(threads.begin(), threads.end(),
                                 [](const std::unique_ptr<WorkerThread>& t) { return HasEnded(t); }),
                  threads.end());
}

} // namespace

void ShutdownSignal::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

bool ShutdownSignal::WaitFor(std::uint32_t ms) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_; });
}

bool HasEnded(const std::unique_ptr<WorkerThread>& thread) {
    return !thread || thread->HasEnded();
}

std::unique_ptr<WorkerThread> StartThread(ControllerPlatform& platform, std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    auto thread = platform.StartThread(FunctionEntry, owned.get());
    if (thread)
        owned.release(); // the thread owns it now
    return thread;
}

CallbackScope::CallbackScope() {
    gate_ = t_runGate;
    if (gate_ != nullptr) {
        gate_->inCallback = true;
        if (gate_->ending) {
            // This thread is about to be ended: wait for that here, holding nothing.
            gate_->inCallback = false;
            gate_->platform->ParkForever();
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

ControllerCore::ControllerCore(ControllerPlatform& platform, std::unique_ptr<CellLog> log,
                               const ControllerTimings& timings)
    : platform(platform), timings(timings), cellLog(std::move(log)) {}

ControllerCore::~ControllerCore() = default;

void ControllerCore::Register() {
    g_core = this;
}

template <typename Done>
bool ControllerCore::WaitUntil(Done done, std::uint32_t timeoutMs, bool keepMessagesFlowing) {
    const std::uint64_t start = platform.TickMs();
    while (!done()) {
        if (timeoutMs != kWaitForever && platform.TickMs() - start >= timeoutMs)
            return done();
        platform.PollPause(keepMessagesFlowing);
    }
    return true;
}

void ControllerCore::SetHooks(const DownloadHooks& table) {
    const DownloadHook slots[kHookSlots] = {
        table.OnDeviceMode,   table.OnReserved1,        table.OnDeviceInfo,     table.OnDeviceLost,
        table.OnVerifyPassed, table.OnVerifyFailed,     table.OnUpgradeStarted, table.OnReserved7,
        table.OnProgress,     table.OnUpgradeSucceeded, table.OnUpgradeFailed,  table.OnReserved11,
        table.OnUpgradeBegin,
    };
    for (std::size_t slot = 0; slot < kHookSlots; ++slot)
        hooks[slot] = slots[slot];
}

bool ControllerCore::SetPackagePath(std::wstring_view path) {
    const bool fits = path.size() < kPackagePathCapacity && path.find(L'\0') == std::wstring_view::npos;
    std::lock_guard lock(pathMutex);
    packageRefused = !fits;
    if (fits)
        packagePath.assign(path);
    return fits;
}

void ControllerCore::StartEngine(const EngineExports& engineExports, std::function<void()> unload) {
    engineLoaded = true;
    exports = engineExports;
    unloadEngine = std::move(unload);
    auto self = shared_from_this();
    controlThread = StartThread(platform, [self] { self->ControlThread(); });
}

void ControllerCore::CallHook(int slot, std::intptr_t value) const {
    if (const DownloadHook hook = hooks[static_cast<std::size_t>(slot)].load())
        hook(value);
}

void ControllerCore::SetCloseAllowed(bool allowed) {
    if (closeAllowed.exchange(allowed) == allowed)
        return;
    if (const CloseAllowedNotice notice = closeAllowedNotice.load())
        notice();
}

void ControllerCore::PostCommand(int code) {
    mailbox.Post(code);
}

void ControllerCore::StartWorker(void (ControllerCore::*body)()) {
    auto self = shared_from_this();
    std::lock_guard lock(threadsMutex);
    if (shuttingDown)
        return;
    PruneEnded(workers);
    if (auto thread = StartThread(platform, [self, body] { (self.get()->*body)(); }))
        workers.push_back(std::move(thread));
}

void ControllerCore::StartVerifyThread() {
    StartWorker(&ControllerCore::VerifyThread);
}

void ControllerCore::StartRunThread() {
    auto gate = std::make_shared<RunGate>();
    gate->run = exports.run;
    gate->platform = &platform;
    std::lock_guard lock(threadsMutex);
    if (shuttingDown)
        return;
    runs.erase(
        std::remove_if(runs.begin(), runs.end(), [](const auto& run) { return HasEnded(run->thread); }),
        runs.end());
    auto thread = platform.StartThread(RunThreadEntry, gate.get());
    if (!thread)
        return;
    gate->thread = std::move(thread);
    runs.push_back(std::move(gate));
}

std::vector<std::shared_ptr<RunGate>> ControllerCore::TakeRuns() {
    std::lock_guard lock(threadsMutex);
    return std::exchange(runs, {});
}

void ControllerCore::LetRunsReturn(std::uint32_t ms) {
    std::vector<std::shared_ptr<RunGate>> current;
    {
        std::lock_guard lock(threadsMutex);
        current = runs;
    }
    const std::uint64_t start = platform.TickMs();
    for (const auto& gate : current) {
        const std::uint64_t spent = platform.TickMs() - start;
        if (spent >= ms)
            return;
        if (gate->thread)
            gate->thread->Wait(static_cast<std::uint32_t>(ms - spent), false);
    }
}

void ControllerCore::EndRun(RunGate& gate, bool keepMessagesFlowing) {
    if (!gate.thread || gate.thread->Wait(timings.runGraceMs, keepMessagesFlowing))
        return;
    gate.ending = true;
    WaitUntil([&gate] { return !gate.inCallback.load(); }, kWaitForever, keepMessagesFlowing);
    if (!gate.returned && !gate.thread->HasEnded())
        gate.thread->ForceEnd();
    gate.thread->Wait(timings.forcedEndMs, keepMessagesFlowing);
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
    StartWorker(&ControllerCore::StopThread);
}

void ControllerCore::StopThread() {
    if (!exports.stop)
        return; // the run goes on: there is no way to ask the engine to stop
    // Only the runs under way now are this stop's to end, not one started after it.
    StopEngine(TakeRuns(), false);
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
    platform.ReadPackageModel(path, model);
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
        // A code that is not ours stays pending until the next post replaces it.
        if (mailbox.Pending()) {
            switch (mailbox.Command()) {
            case CmdEndLog:
                mailbox.Clear();
                cellLog->CloseLog(0);
                break;
            case CmdVerify:
                if (PackageRefused()) {
                    // Verifying the previous path would check a file the user did not choose.
                    mailbox.Clear();
                    break;
                }
                cellLog->OpenLog(0);
                mailbox.Clear();
                StartVerifyThread();
                break;
            case CmdVerifyPassed:
                CallHook(SlotVerifyPassed, 0);
                mailbox.Post(CmdRun);
                break;
            case CmdRun:
                mailbox.Clear();
                StartRunThread();
                break;
            case CmdFinish:
                CallHook(SlotUpgradeSucceeded, 0);
                mailbox.Clear();
                LetRunsReturn(timings.finishSettleMs);
                StartStopThread();
                cellLog->CloseLog(0);
                SetCloseAllowed(true);
                break;
            default:
                break; // not ours: it stays pending
            }
        }
        // CmdVerifyPassed's own post of CmdRun has set the event: the loop goes on at once.
        if (!controlStop)
            mailbox.WaitForPost();
    }
}

void ControllerCore::Shutdown() {
    if (shuttingDown.exchange(true))
        return;
    bool clean = true;
    controlStop = true;
    mailbox.Wake();
    if (controlThread)
        controlThread->Wait(kWaitForever, true);
    {
        // Starters check shuttingDown under this lock: once it is taken here, a start that
        // was under way has registered its thread, and no later one will start.
        std::lock_guard lock(threadsMutex);
    }
    shutdownSignal.Set();

    if (engineLoaded) {
        if (exports.stop)
            StopEngine(TakeRuns(), true);
        bool engineIdle = true;
        {
            std::lock_guard lock(threadsMutex);
            for (const auto& run : runs)
                engineIdle = engineIdle && HasEnded(run->thread);
        }
        std::vector<WorkerThread*> waitFor;
        {
            std::lock_guard lock(threadsMutex);
            for (const auto& worker : workers)
                waitFor.push_back(worker.get());
        }
        for (WorkerThread* worker : waitFor)
            engineIdle = worker->Wait(timings.engineThreadsMs, true) && engineIdle;
        // Releasing or unloading the engine under a thread still inside it would crash that
        // thread; the process is about to end, so the engine then simply stays.
        if (engineIdle) {
            if (exports.release)
                exports.release();
            // A callback still returning into the engine must be out of it before it goes.
            if (WaitUntil([] { return g_activeCallbacks.load() == 0; }, timings.engineThreadsMs, true))
                unloadEngine();
            else
                clean = false;
        } else {
            clean = false;
        }
        engineLoaded = false;
    }

    ControllerCore* registered = this;
    g_core.compare_exchange_strong(registered, nullptr);
    if (WaitUntil([] { return g_activeCallbacks.load() == 0; }, timings.engineThreadsMs, true))
        cellLog.reset(); // writes out every queued line
    else
        clean = false;
    if (!clean) {
        std::lock_guard lock(g_strandedMutex);
        g_stranded.push_back(shared_from_this());
    }
}

} // namespace tarnvel::detail
