#include "download/download_controller.h"

#include "download/engine_events.h"
#include "download/event_lines.h"
#include "text/text_format.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace tarnvel {

using namespace detail;

namespace {

std::atomic<DownloadController*> g_core{nullptr};
std::atomic<int> g_activeCallbacks{0};

// Controllers whose shutdown had to leave a thread behind inside the engine or a callback:
// they stay alive until the process ends, so that thread never meets freed memory.
std::mutex g_strandedMutex;
std::vector<std::shared_ptr<DownloadController>> g_stranded;

unsigned TARNVEL_THREAD_CALL FunctionEntry(void* body) {
    std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(body));
    (*run)();
    return 0;
}

// RunThread touches nothing but its gate, which outlives it.
unsigned TARNVEL_THREAD_CALL RunThreadEntry(void* argument) {
    auto* gate = static_cast<RunGate*>(argument);
    if (gate->run) {
        std::int32_t reserved = 0;
        gate->run(&reserved);
    }
    return 0;
}

void PruneEnded(std::vector<std::unique_ptr<WorkerThread>>& threads) {
    threads.erase(std::remove_if(threads.begin(), threads.end(),
                                 [](const std::unique_ptr<WorkerThread>& t) { return HasEnded(t); }),
                  threads.end());
}

} // namespace

namespace detail {

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
    g_activeCallbacks.fetch_add(1);
    core_ = g_core.load();
}

CallbackScope::~CallbackScope() {
    g_activeCallbacks.fetch_sub(1);
}

} // namespace detail

DownloadController::DownloadController(ControllerPlatform& platform, std::unique_ptr<CellLog> log,
                                       const ControllerTimings& timings)
    : platform_(platform), timings_(timings), cellLog_(std::move(log)) {}

DownloadController::~DownloadController() = default;

void DownloadController::Register() {
    g_core = this;
}

template <typename Done>
bool DownloadController::WaitUntil(Done done, std::uint32_t timeoutMs, bool keepMessagesFlowing) {
    const std::uint64_t start = platform_.TickMs();
    while (!done()) {
        if (timeoutMs != kWaitForever && platform_.TickMs() - start >= timeoutMs)
            return done();
        platform_.PollPause(keepMessagesFlowing);
    }
    return true;
}

bool DownloadController::SetPackagePath(std::wstring_view path) {
    const bool fits = path.size() < kPackagePathCapacity && path.find(L'\0') == std::wstring_view::npos;
    std::lock_guard lock(pathMutex_);
    packageRefused_ = !fits;
    if (fits)
        packagePath_.assign(path);
    return fits;
}

void DownloadController::LoadEngine() {
    if (engineLoaded_ || shuttingDown_)
        return;
    LoadedEngine loaded;
    if (platform_.LoadEngine(exeFolder_, loaded))
        StartEngine(std::move(loaded));
}

void DownloadController::StartEngine(LoadedEngine engine) {
    engineLoaded_ = true;
    engine_ = std::move(engine);
    auto self = shared_from_this();
    controlThread_ = StartThread(platform_, [self] { self->ControlThread(); });
}

void DownloadController::Raise(DownloadEvent event) const {
    if (DownloadEventSink* sink = sink_.load())
        sink->OnDownloadEvent(event);
}

void DownloadController::PostLine(std::int32_t cell, int level, const std::wstring& line) {
    // A negative cell becomes a large unsigned one, which the log drops like any cell above 7.
    cellLog_->PostLine(static_cast<unsigned>(cell), level, line);
}

void DownloadController::NoteInRunLog(const std::wstring& line) {
    if (cellLog_)
        cellLog_->PostLine(0, LevelInfo, line);
}

void DownloadController::SetCloseAllowed(bool allowed) {
    if (closeAllowed_.exchange(allowed) == allowed)
        return;
    Raise({DownloadEventKind::CloseAllowedChanged});
}

void DownloadController::PostCommand(Command code) {
    mailbox_.Post(code);
}

void DownloadController::StartWorker(void (DownloadController::*body)()) {
    auto self = shared_from_this();
    std::lock_guard lock(threadsMutex_);
    if (shuttingDown_)
        return;
    PruneEnded(workers_);
    if (auto thread = StartThread(platform_, [self, body] { (self.get()->*body)(); }))
        workers_.push_back(std::move(thread));
}

void DownloadController::StartVerifyThread() {
    StartWorker(&DownloadController::VerifyThread);
}

void DownloadController::StartRunThread() {
    auto gate = std::make_shared<RunGate>();
    gate->run = engine_.exports.run;
    std::lock_guard lock(threadsMutex_);
    if (shuttingDown_)
        return;
    runs_.erase(
        std::remove_if(runs_.begin(), runs_.end(), [](const auto& run) { return HasEnded(run->thread); }),
        runs_.end());
    auto thread = platform_.StartThread(RunThreadEntry, gate.get());
    if (!thread)
        return;
    gate->thread = std::move(thread);
    runs_.push_back(std::move(gate));
}

std::vector<std::shared_ptr<RunGate>> DownloadController::TakeRuns() {
    std::lock_guard lock(threadsMutex_);
    return std::exchange(runs_, {});
}

void DownloadController::LetRunsReturn(std::uint32_t ms) {
    std::vector<std::shared_ptr<RunGate>> current;
    {
        std::lock_guard lock(threadsMutex_);
        current = runs_;
    }
    const std::uint64_t start = platform_.TickMs();
    for (const auto& gate : current) {
        const std::uint64_t spent = platform_.TickMs() - start;
        if (spent >= ms)
            return;
        if (gate->thread)
            gate->thread->Wait(static_cast<std::uint32_t>(ms - spent), false);
    }
}

void DownloadController::EndRun(RunGate& gate, bool keepMessagesFlowing) {
    if (!gate.thread || gate.thread->Wait(timings_.runGraceMs, keepMessagesFlowing))
        return;
    // The engine may hold its own locks in the run: only throwing it away whole frees them.
    if (engine_.discard) {
        engine_.discard();
        gate.thread->Wait(timings_.discardReturnMs, keepMessagesFlowing);
    }
}

void DownloadController::StopEngine(std::vector<std::shared_ptr<RunGate>> taken, bool keepMessagesFlowing) {
    engine_.exports.stop();
    for (const auto& gate : taken)
        EndRun(*gate, keepMessagesFlowing);
    // A thread that could not be ended still runs on its gate: keep the gate.
    std::lock_guard lock(threadsMutex_);
    for (auto& gate : taken) {
        if (!HasEnded(gate->thread))
            runs_.push_back(std::move(gate));
    }
}

void DownloadController::BeginStop() {
    phase_ = Phase::Idle;
    StartWorker(&DownloadController::StopThread);
}

void DownloadController::StopThread() {
    if (!engine_.exports.stop)
        return; // the run goes on: there is no way to ask the engine to stop
    // Only the runs under way now are this stop's to end, not one started after it.
    StopEngine(TakeRuns(), false);
}

std::wstring DownloadController::LastLogFile() const {
    std::lock_guard lock(pathMutex_);
    return lastLogFile_;
}

bool DownloadController::PackageRefused() {
    std::lock_guard lock(pathMutex_);
    return packageRefused_;
}

void DownloadController::VerifyThread() {
    std::lock_guard lock(verifyMutex_);
    std::wstring path;
    {
        std::lock_guard pathLock(pathMutex_);
        path = packagePath_;
    }
    std::wstring model;
    platform_.ReadPackageModel(path, model);
    const std::wstring_view engineName = ModelForEngine(model);
    auto copyInto = [](std::array<wchar_t, kPackagePathCapacity>& field, std::wstring_view text) {
        const std::size_t length = std::min(text.size(), field.size() - 1);
        std::copy_n(text.begin(), length, field.begin());
        field[length] = L'\0';
    };
    copyInto(enginePath_, path);
    copyInto(engineModel_, engineName);
    if (engine_.exports.init) {
        EngineInitParams params{};
        params.packagePath = enginePath_.data();
        params.extraText = engineExtra_;
        params.modelName = engineModel_.data();
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
        if (engine_.exports.init(&params) == 0)
            return;
    }
    if (engine_.exports.verify)
        engine_.exports.verify();
}

void DownloadController::ControlThread() {
    while (!controlStop_) {
        // A code that is not ours stays pending until the next post replaces it.
        if (mailbox_.Pending()) {
            switch (mailbox_.Code()) {
            case Command::EndLog:
                mailbox_.Clear();
                cellLog_->CloseLog(0);
                break;
            case Command::Verify:
                if (PackageRefused()) {
                    // Verifying the previous path would check a file the user did not choose.
                    mailbox_.Clear();
                    break;
                }
                cellLog_->OpenLog(0);
                {
                    std::lock_guard lock(pathMutex_);
                    lastLogFile_ = cellLog_->FileNameOf(0);
                }
                mailbox_.Clear();
                phase_ = Phase::Verifying;
                StartVerifyThread();
                break;
            case Command::VerifyPassed:
                Raise({DownloadEventKind::VerifyPassed});
                mailbox_.Post(Command::Run);
                break;
            case Command::Run:
                mailbox_.Clear();
                StartRunThread();
                break;
            case Command::Finish:
                FinishRun(RunOutcome::Succeeded);
                break;
            default:
                break; // not ours: it stays pending
            }
        }
        // Command::VerifyPassed's own post of Command::Run has set the event: the loop goes on at once.
        if (!controlStop_)
            mailbox_.WaitForPost();
    }
}

void DownloadController::FinishAfterPause() {
    // The host holds the engine's thread for the same pause; a shutdown cuts it short and
    // finishes itself.
    if (!shutdownSignal_.WaitFor(timings_.finishPauseMs))
        PostCommand(Command::Finish);
}

void DownloadController::FinishRun(RunOutcome outcome) {
    phase_ = Phase::Idle;
    const bool succeeded = outcome == RunOutcome::Succeeded;
    Raise({succeeded ? DownloadEventKind::UpgradeSucceeded : DownloadEventKind::UpgradeFailed});
    if (succeeded) {
        mailbox_.Clear(); // Command::Finish is taken once the client has heard of the success
        LetRunsReturn(timings_.finishSettleMs);
    }
    BeginStop();
    cellLog_->CloseLog(0);
    SetCloseAllowed(true);
}

void DownloadController::OnSendMsgInfo(const MsgInfoRecord& record) {
    PostLine(record.cell, MsgInfoLevel(record.msgType),
             MsgInfoLine(record.cell, record.msgType, BoundedText(record.text, kMsgInfoTextCapacity),
                         BoundedText(record.detail, kMsgInfoDetailCapacity)));
}

void DownloadController::OnProgress(std::int32_t cell, std::int32_t total, std::int32_t done) {
    PostLine(cell, LevelInfo, ShowProgressLine(cell, total, done));
    if (cell != 0)
        return;
    if (const auto percent = ProgressPercentForHook(total, done))
        Raise({DownloadEventKind::Progress, *percent});
}

void DownloadController::OnTestStatus(std::int32_t cell, std::int32_t code, std::int32_t status) {
    const auto reported = static_cast<TestStatus>(status);
    if (reported == TestStatus::Started)
        Raise({DownloadEventKind::UpgradeBegin});
    PostLine(cell, TestStatusLevel(status), TestStatusLine(cell, code, status));
    if (cell != 0)
        return;
    switch (reported) {
    case TestStatus::Started:
        Raise({DownloadEventKind::UpgradeStarted});
        break;
    case TestStatus::Succeeded:
        StartWorker(&DownloadController::FinishAfterPause);
        break;
    case TestStatus::Failed:
        FinishRun(RunOutcome::Failed);
        break;
    default:
        break;
    }
}

void DownloadController::OnMonitorStatus(const MonitorStatusRecord& record) {
    PostLine(record.cell, LevelInfo,
             MonitorStatusLine(record.cell, record.status, BoundedText(record.text, kMonitorTextCapacity)));
    if (record.cell == 0)
        SetCloseAllowed(static_cast<MonitorStatus>(record.status) != MonitorStatus::Busy);
}

void DownloadController::OnCheckdata(const CheckdataStatusRecord& record) {
    PostLine(
        0, CheckdataStatusLevel(record.status),
        CheckdataStatusLine(record.cell, record.status, BoundedText(record.text, kCheckdataTextCapacity)));
    const auto reported = static_cast<CheckdataStatus>(record.status);
    if (record.cell == 0 && reported == CheckdataStatus::Passed) {
        phase_ = Phase::Running;
        PostCommand(Command::VerifyPassed);
    } else if (reported == CheckdataStatus::Failed) {
        phase_ = Phase::Idle;
        // One log per run: the failed run's file ends with the failure line, and the next
        // verification, which the event makes possible, opens a file of its own.
        if (record.cell == 0)
            cellLog_->CloseLog(0);
        Raise({DownloadEventKind::VerifyFailed});
    }
}

void DownloadController::OnEngineGone(std::uint32_t exitCode) {
    PostLine(0, LevelError, EngineGoneLine(exitCode));
    if (shuttingDown_)
        return;
    switch (phase_.exchange(Phase::Idle)) {
    case Phase::Verifying:
        cellLog_->CloseLog(0);
        Raise({DownloadEventKind::VerifyFailed});
        SetCloseAllowed(true);
        break;
    case Phase::Running:
        FinishRun(RunOutcome::Failed);
        break;
    case Phase::Idle:
        break;
    }
}

bool DownloadController::EngineThreadsEnded(std::uint32_t ms) {
    std::vector<WorkerThread*> waitFor;
    {
        std::lock_guard lock(threadsMutex_);
        for (const auto& run : runs_)
            waitFor.push_back(run->thread.get());
        for (const auto& worker : workers_)
            waitFor.push_back(worker.get());
    }
    bool ended = true;
    for (WorkerThread* thread : waitFor)
        ended = (thread == nullptr || thread->Wait(ms, false)) && ended;
    return ended;
}

bool DownloadController::EndEngine() {
    if (engine_.discardAfter)
        engine_.discardAfter(timings_.engineEndMs);
    if (engine_.exports.stop)
        StopEngine(TakeRuns(), false);
    // A run that nothing can stop, or a thread that stays inside the engine: an engine that can be
    // thrown away whole is, at discardAfter's time at the latest, and every call into it returns.
    bool engineIdle = EngineThreadsEnded(timings_.engineThreadsMs);
    if (!engineIdle && engine_.discard) {
        engine_.discard();
        engineIdle = EngineThreadsEnded(timings_.engineThreadsMs);
    }
    // Releasing or unloading the engine under a thread still inside it would crash that
    // thread; the process is about to end, so the engine then simply stays.
    if (!engineIdle)
        return false;
    if (engine_.exports.release)
        engine_.exports.release();
    // A callback still returning into the engine must be out of it before it goes.
    if (!WaitUntil([] { return g_activeCallbacks.load() == 0; }, timings_.engineThreadsMs, false))
        return false;
    engine_.unload();
    return true;
}

void DownloadController::Shutdown() {
    if (shuttingDown_.exchange(true))
        return;
    bool clean = true;
    controlStop_ = true;
    mailbox_.Wake();
    if (controlThread_)
        controlThread_->Wait(kWaitForever, true);
    {
        // Starters check shuttingDown_ under this lock: once it is taken here, a start that
        // was under way has registered its thread, and no later one will start.
        std::lock_guard lock(threadsMutex_);
    }
    shutdownSignal_.Set();

    if (engineLoaded_) {
        // The UI thread goes on handling the messages the engine's reports send it meanwhile.
        std::atomic<bool> ended{false};
        auto ender = StartThread(platform_, [this, &ended] { ended = EndEngine(); });
        if (ender)
            ender->Wait(kWaitForever, true);
        else
            ended = EndEngine();
        clean = ended;
        engineLoaded_ = false;
    }

    DownloadController* registered = this;
    g_core.compare_exchange_strong(registered, nullptr);
    if (WaitUntil([] { return g_activeCallbacks.load() == 0; }, timings_.engineThreadsMs, true))
        cellLog_.reset(); // writes out every queued line
    else
        clean = false;
    if (!clean) {
        std::lock_guard lock(g_strandedMutex);
        g_stranded.push_back(shared_from_this());
    }
}

} // namespace tarnvel
