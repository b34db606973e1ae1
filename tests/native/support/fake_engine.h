// A scripted download engine for the controller's native tests: the five exports as plain
// functions, its own reporting threads, and a record of who was inside it when. It reports
// through the real callbacks it is given by InitDownloadObj.
#pragma once

#include "download/download_controller.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnvel::testing {

struct EngineScript {
    enum class Verify { Pass, Fail, Silent };
    enum class Run {
        AtOnce,       // returns without a report
        Pass,         // reports a whole upgrade and success
        Fail,         // reports a start, some progress and failure
        UntilStopped, // reports the phone and waits for DownloadStop
        Hang,         // ignores DownloadStop; only its host's end gets it out
        Chatter,      // ignores DownloadStop and keeps calling back until its host's end
    };
    std::int32_t initResult = 1;
    Verify verify = Verify::Pass;
    bool verifyOnOwnThread = false;
    int verifyMicros = 0; // how long VerifyDataofRZB checks before it reports; DownloadStop cuts it short
    Run run = Run::Pass;
    int progressSteps = 4;
    int reportingThreads = 0;    // engine threads calling back until ReleaseDownloadObj
    bool reportFailures = false; // the reporting threads now and then report cell 0 failed
};

class FakeEngine {
public:
    static FakeEngine& Get();

    // Before each controller; no thread of the previous one may still be inside.
    void Reset(const EngineScript& script);
    EngineExports Exports() const;
    // The controller's unloading of the library.
    void Unload();
    // The process that held the engine ended: its own threads stop, and the next InitDownloadObj
    // starts a fresh engine (the counts go on).
    void Discard();

    std::vector<std::string> Faults() const;
    int Inits() const { return inits_; }
    int Runs() const { return runs_; }
    int RunsReturned() const { return runsReturned_; }
    int RunsUnwound() const { return runsUnwound_; }
    int Stops() const { return stops_; }
    int Releases() const { return releases_; }
    bool Unloaded() const { return unloaded_; }
    int Inside() const { return inside_; }

private:
    FakeEngine() = default;

    static std::int32_t TARNVEL_ENGINE_CALL Init(EngineInitParams* params);
    static void TARNVEL_ENGINE_CALL Verify();
    static void TARNVEL_ENGINE_CALL Run(std::int32_t* reserved);
    static void TARNVEL_ENGINE_CALL Stop();
    static void TARNVEL_ENGINE_CALL Release();

    // Counts a thread inside the engine (and inside an export, when `exports` is given) for its
    // lifetime; entering after the unload is a fault.
    class Presence {
    public:
        Presence(FakeEngine& engine, std::atomic<int>* exports);
        ~Presence();
        Presence(const Presence&) = delete;
        Presence& operator=(const Presence&) = delete;

    private:
        FakeEngine& engine_;
        std::atomic<int>* exports_;
    };

    void Fault(std::string text);
    void ReportVerification();
    void Reporter(int index);
    void StartOwnThread(std::thread thread);

    EngineScript script_;
    std::atomic<CheckdataStatusCallback> onCheckdata_{nullptr};
    std::atomic<MonitorStatusCallback> onMonitor_{nullptr};
    std::atomic<SendMsgInfoCallback> onMsgInfo_{nullptr};
    std::atomic<ShowProgressCallback> onProgress_{nullptr};
    std::atomic<TestStatusCallback> onTestStatus_{nullptr};

    std::atomic<int> inside_{0};
    std::atomic<int> exportsInside_{0};
    std::atomic<int> runsInside_{0};
    std::atomic<int> stopGeneration_{0};
    std::atomic<bool> releasing_{false};
    std::atomic<bool> unloaded_{false};
    std::atomic<int> inits_{0};
    std::atomic<int> runs_{0};
    std::atomic<int> runsReturned_{0};
    std::atomic<int> runsUnwound_{0};
    std::atomic<int> stops_{0};
    std::atomic<int> releases_{0};

    mutable std::mutex mutex_; // guards ownThreads_, reportersStarted_ and faults_
    std::vector<std::thread> ownThreads_;
    bool reportersStarted_ = false;
    std::vector<std::string> faults_;
};

} // namespace tarnvel::testing
