// The download controller: the cell log, the worker threads and the engine, and the wizard's
// requests and the engine's reports turned into verify -> run -> finish or stop. Plain C++: the
// system is reached through a ControllerPlatform (system_controller.h has the program's) and the
// engine through its exports.
//
// Threads: SetEventSink, LoadEngine, SetPackagePath, PostCommand, BeginStop, IsCloseAllowed and
// Shutdown are called on the UI thread. The events reach the sink on the controller's and the
// engine's threads (download_events.h).
#pragma once

#include "download/controller_platform.h"
#include "download/download_events.h"
#include "download/engine_interface.h"
#include "log/cell_log.h"
#include "platform/wake_event.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tarnvel {

// The timings of the controller's threads; the defaults are the program's.
struct ControllerTimings {
    // From cell 0's success report to Command::Finish: the engine's thread is held for it.
    std::uint32_t finishPauseMs = 2000;
    // How long Command::Finish gives the run to leave DownloadRun before it stops the engine and closes
    // the log: the engine reports the phone idle right after the success report returns, and that
    // line belongs in the run's log.
    std::uint32_t finishSettleMs = 20;
    // How long a RunThread gets to leave DownloadRun by itself after DownloadStop before the
    // engine is thrown away.
    std::uint32_t runGraceMs = 1000;
    // How long a RunThread gets to be back once its engine was thrown away.
    std::uint32_t discardReturnMs = 1000;
    // How long Shutdown waits for threads inside the engine before it leaves the engine loaded.
    std::uint32_t engineThreadsMs = 10000;
    // How long Shutdown gives an engine that can be thrown away to stop and release before it is:
    // a close must end within 3 s whatever the engine does.
    std::uint32_t engineEndMs = 2000;
};

namespace detail {

// The one-slot mailbox: the code is stored before the pending mark and read after it, each
// whole, with no lock. A code posted before the control thread took the previous one replaces it.
// The control thread sleeps on the mailbox's event until a post (or Wake) sets it.
class CommandMailbox {
public:
    void Post(Command code) {
        command_ = code;
        pending_ = 1;
        posted_.Set();
    }
    bool Pending() const { return pending_ != 0; }
    Command Code() const { return command_; }
    // The control thread is done with the code it read.
    void Clear() { pending_ = 0; }
    // The control thread: returns once Post or Wake was called since the last return.
    void WaitForPost() { posted_.Wait(); }
    // Any thread: ends the control thread's wait without a code.
    void Wake() { posted_.Set(); }

private:
    std::atomic<Command> command_{Command{}};
    std::atomic<int> pending_{0};
    WakeEvent posted_;
};

// Set once by Shutdown; cuts short the waits of the engine's threads.
class ShutdownSignal {
public:
    void Set();
    // True when set, at once or within `ms`.
    bool WaitFor(std::uint32_t ms);

private:
    std::mutex mutex_; // guards set_
    std::condition_variable changed_;
    bool set_ = false;
};

// One RunThread: DownloadRun until it returns, or until its engine is thrown away.
struct RunGate {
    std::function<void(std::int32_t*)> run;
    std::unique_ptr<WorkerThread> thread; // ends when DownloadRun has returned
};

inline constexpr std::size_t kPackagePathCapacity = 256; // characters with the terminator

// True when the thread is gone (or was never started).
bool HasEnded(const std::unique_ptr<WorkerThread>& thread);

// Starts `body` on a thread of its own; null when the thread could not be started.
std::unique_ptr<WorkerThread> StartThread(ControllerPlatform& platform, std::function<void()> body);

enum class RunOutcome { Succeeded, Failed };

// What the engine is doing for the wizard, for the failure an engine that goes away leaves.
enum class Phase { Idle, Verifying, Running };

} // namespace detail

// The run's whole lifecycle: the commands the UI thread posts, the control thread that acts on
// them, the engine's reports (each callback of engine_events.cpp calls one On... method), the
// end of a run, and the shutdown.
class DownloadController : public std::enable_shared_from_this<DownloadController> {
public:
    // `platform` must outlive the object and every thread it starts.
    DownloadController(ControllerPlatform& platform, std::unique_ptr<CellLog> cellLog,
                       const ControllerTimings& timings = {});
    ~DownloadController();

    // The UI thread, before StartEngine.
    void SetExeFolder(std::wstring folder) { exeFolder_ = std::move(folder); }
    const std::wstring& ExeFolder() const { return exeFolder_; }
    // Makes this the controller the engine's callbacks reach; Shutdown ends that.
    void Register();

    // Where the events go from now on (null: nowhere); the sink must stay valid until Shutdown
    // has returned.
    void SetEventSink(DownloadEventSink* sink) { sink_ = sink; }

    // Loads "<executable folder>\dVarnok.dll" through the platform and starts the control thread.
    // Without the library nothing starts and posted commands are never acted on.
    void LoadEngine();
    // Takes a loaded engine and starts the control thread.
    void StartEngine(LoadedEngine engine);
    bool HasEngine() const { return engineLoaded_; }
    bool ShuttingDown() const { return shuttingDown_; }

    // False, and nothing stored, when the path is longer than 255 characters (or holds a NUL):
    // the engine's record holds no more, and a shortened path would name another file. Until a
    // path is accepted again, Command::Verify then verifies nothing (not the previous package
    // either).
    bool SetPackagePath(std::wstring_view path);
    // A command posted before the control thread took the previous one replaces it.
    void PostCommand(Command command);
    // Stops the engine's download activity on a thread of its own; does not wait.
    void BeginStop();
    // False while a phone is being written.
    bool IsCloseAllowed() const { return closeAllowed_; }
    // An information line of ours in cell 0's log (the run's); nothing once shut down.
    void NoteInRunLog(const std::wstring& line);
    // The full path of cell 0's log of the last verification; empty before the first.
    std::wstring LastLogFile() const;
    void Shutdown();

    // The engine's reports, on the engine's threads, each inside a CallbackScope.
    void OnSendMsgInfo(const MsgInfoRecord& record);
    void OnProgress(std::int32_t cell, std::int32_t total, std::int32_t done);
    void OnTestStatus(std::int32_t cell, std::int32_t code, std::int32_t status);
    void OnMonitorStatus(const MonitorStatusRecord& record);
    void OnCheckdata(const CheckdataStatusRecord& record);
    // The engine's process ended without being asked to, with this exit code: the run under way
    // fails as the engine would have failed it.
    void OnEngineGone(std::uint32_t exitCode);

    // For tests: the mailbox as the control thread sees it.
    const detail::CommandMailbox& Mailbox() const { return mailbox_; }

private:
    void Raise(DownloadEvent event) const;
    void PostLine(std::int32_t cell, int level, const std::wstring& line);
    // Stores the answer, then tells the client when it changed.
    void SetCloseAllowed(bool allowed);
    // The end of a run: the client hears of it, the engine is stopped, the run's log closed.
    void FinishRun(detail::RunOutcome outcome);
    void StartVerifyThread();
    void StartRunThread();
    // Starts one of the core's own threads, unless Shutdown has begun.
    void StartWorker(void (DownloadController::*body)());
    // Asks the engine to stop, then ends the RunThreads that were running when asked.
    void StopEngine(std::vector<std::shared_ptr<detail::RunGate>> runs, bool keepMessagesFlowing);
    std::vector<std::shared_ptr<detail::RunGate>> TakeRuns();
    // Waits, at most `ms` in all, for the runs started so far to leave DownloadRun.
    void LetRunsReturn(std::uint32_t ms);
    void ControlThread();
    void VerifyThread();
    void StopThread();
    // Holds Command::Finish back for the pause after a success report, off the engine's thread.
    void FinishAfterPause();
    // Stops, releases and unloads the engine; Shutdown runs it on a thread of its own.
    bool EndEngine();
    // True when every RunThread, VerifyThread and StopThread has ended, each within `ms`.
    bool EngineThreadsEnded(std::uint32_t ms);
    // Ends one RunThread: first the grace period, then by throwing its engine away.
    void EndRun(detail::RunGate& gate, bool keepMessagesFlowing);
    template <typename Done> bool WaitUntil(Done done, std::uint32_t timeoutMs, bool keepMessagesFlowing);
    bool PackageRefused();

    ControllerPlatform& platform_;
    const ControllerTimings timings_;

    std::atomic<DownloadEventSink*> sink_{nullptr};
    detail::CommandMailbox mailbox_;
    std::atomic<bool> closeAllowed_{true}; // written through SetCloseAllowed
    std::atomic<detail::Phase> phase_{detail::Phase::Idle};
    std::atomic<bool> controlStop_{false};
    std::atomic<bool> shuttingDown_{false};
    detail::ShutdownSignal shutdownSignal_;

    std::wstring exeFolder_;
    // Written on the UI thread before any thread starts and by Shutdown after they are done.
    bool engineLoaded_ = false;
    LoadedEngine engine_;
    std::unique_ptr<WorkerThread> controlThread_;

    mutable std::mutex pathMutex_; // guards packagePath_, packageRefused_ and lastLogFile_
    std::wstring packagePath_;
    std::wstring lastLogFile_;
    bool packageRefused_ = false; // the last path offered did not fit: verify nothing until a new one does

    // One verification at a time; the texts the engine's init record points to, which stay
    // valid (at the same addresses) until the controller is gone.
    std::mutex verifyMutex_;
    std::array<wchar_t, detail::kPackagePathCapacity> enginePath_{};
    std::array<wchar_t, detail::kPackagePathCapacity> engineModel_{};
    const wchar_t engineExtra_[1] = {L'\0'};

    std::mutex threadsMutex_;                            // guards runs_ and workers_
    std::vector<std::shared_ptr<detail::RunGate>> runs_; // RunThreads no stop has taken yet
    std::vector<std::unique_ptr<WorkerThread>> workers_; // VerifyThreads and StopThreads

    std::unique_ptr<CellLog> cellLog_; // destroyed by Shutdown once no callback can reach it
};

namespace detail {

// The registered controller, for the engine's callbacks. A callback holds a CallbackScope for
// its whole run; Shutdown waits for every scope to end after clearing the registration.
class CallbackScope {
public:
    CallbackScope();
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

    DownloadController* Core() const { return core_; }

private:
    DownloadController* core_ = nullptr;
};

} // namespace detail

} // namespace tarnvel
