#include "support/fake_engine.h"

#include "support/test_platform.h"

#include <chrono>
#include <cwchar>

namespace tarnvel::testing {

namespace {

using namespace std::chrono_literals;

template <std::size_t N> void CopyText(EngineChar (&field)[N], const wchar_t* text) {
    std::wcsncpy(field, text, N - 1);
    field[N - 1] = L'\0';
}

MonitorStatusRecord Monitor(std::int32_t cell, std::int32_t status) {
    MonitorStatusRecord record{};
    CopyText(record.text, L"COM10");
    record.cell = cell;
    record.status = status;
    return record;
}

} // namespace

FakeEngine& FakeEngine::Get() {
    static FakeEngine engine;
    return engine;
}

void FakeEngine::Reset(const EngineScript& script) {
    Discard(); // threads of an engine that was never released
    std::lock_guard lock(mutex_);
    script_ = script;
    onCheckdata_ = nullptr;
    onMonitor_ = nullptr;
    onMsgInfo_ = nullptr;
    onProgress_ = nullptr;
    onTestStatus_ = nullptr;
    inside_ = 0;
    exportsInside_ = 0;
    runsInside_ = 0;
    stopGeneration_ = 0;
    releasing_ = false;
    unloaded_ = false;
    inits_ = runs_ = runsReturned_ = runsUnwound_ = stops_ = releases_ = 0;
    reportersStarted_ = false;
    faults_.clear();
}

EngineExports FakeEngine::Exports() const {
    EngineExports exports;
    exports.init = &Init;
    exports.verify = &Verify;
    exports.run = &Run;
    exports.stop = &Stop;
    exports.release = &Release;
    return exports;
}

void FakeEngine::Discard() {
    releasing_ = true;
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(ownThreads_);
    }
    for (auto& thread : threads)
        thread.join();
    std::lock_guard lock(mutex_);
    reportersStarted_ = false;
    releasing_ = false;
}

void FakeEngine::Unload() {
    if (inside_ != 0)
        Fault("unloaded with " + std::to_string(inside_.load()) + " threads inside");
    if (unloaded_.exchange(true))
        Fault("unloaded twice");
}

std::vector<std::string> FakeEngine::Faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

FakeEngine::Presence::Presence(FakeEngine& engine, std::atomic<int>* exports)
    : engine_(engine), exports_(exports) {
    ++engine_.inside_;
    if (exports_ != nullptr)
        ++*exports_;
    if (engine_.unloaded_)
        engine_.Fault("entered after the unload");
}

FakeEngine::Presence::~Presence() {
    if (exports_ != nullptr)
        --*exports_;
    --engine_.inside_;
}

void FakeEngine::Fault(std::string text) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(text));
}

void FakeEngine::StartOwnThread(std::thread thread) {
    std::lock_guard lock(mutex_);
    ownThreads_.push_back(std::move(thread));
}

std::int32_t FakeEngine::Init(EngineInitParams* params) {
    FakeEngine& engine = Get();
    Presence inside(engine, &engine.exportsInside_);
    ++engine.inits_;
    engine.onCheckdata_ = params->onCheckdataStatus;
    engine.onMonitor_ = params->onMonitorStatus;
    engine.onMsgInfo_ = params->onSendMsgInfo;
    engine.onProgress_ = params->onShowProgress;
    engine.onTestStatus_ = params->onTestStatus;
    int reporters = 0;
    {
        std::lock_guard lock(engine.mutex_);
        if (!engine.reportersStarted_) {
            engine.reportersStarted_ = true;
            reporters = engine.script_.reportingThreads;
        }
    }
    for (int i = 0; i < reporters; ++i)
        engine.StartOwnThread(std::thread([&engine, i] { engine.Reporter(i); }));
    return engine.script_.initResult;
}

void FakeEngine::ReportVerification() {
    CheckdataStatusRecord record{};
    record.cell = 0;
    switch (script_.verify) {
    case EngineScript::Verify::Pass:
        record.status = 2;
        CopyText(record.text, L"Verify data file OK!");
        break;
    case EngineScript::Verify::Fail:
        record.status = 3;
        CopyText(record.text, L"payload checksum mismatch");
        break;
    case EngineScript::Verify::Silent:
        return;
    }
    onCheckdata_.load()(record);
}

void FakeEngine::Verify() {
    FakeEngine& engine = Get();
    Presence inside(engine, &engine.exportsInside_);
    const int generation = engine.stopGeneration_;
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::microseconds(engine.script_.verifyMicros);
    while (std::chrono::steady_clock::now() < until) {
        if (engine.stopGeneration_ != generation)
            return;
        std::this_thread::sleep_for(100us);
    }
    if (!engine.script_.verifyOnOwnThread) {
        engine.ReportVerification();
        return;
    }
    engine.StartOwnThread(std::thread([&engine] {
        Presence reporting(engine, nullptr);
        std::this_thread::sleep_for(100us);
        engine.ReportVerification();
    }));
}

void FakeEngine::Run(std::int32_t*) {
    FakeEngine& engine = Get();
    Presence inside(engine, &engine.exportsInside_);
    ++engine.runs_;
    ++engine.runsInside_;
    const int generation = engine.stopGeneration_;
    auto stopped = [&] {
        return engine.stopGeneration_ != generation;
    };
    try {
        const auto monitor = engine.onMonitor_.load();
        const auto testStatus = engine.onTestStatus_.load();
        const auto progress = engine.onProgress_.load();
        switch (engine.script_.run) {
        case EngineScript::Run::AtOnce:
            break;
        case EngineScript::Run::Pass:
        case EngineScript::Run::Fail: {
            monitor(Monitor(0, 1));
            testStatus(0, 0, 1);
            const int steps = engine.script_.progressSteps;
            for (int i = 1; i <= steps && !stopped(); ++i) {
                TestPlatform::KillPoint();
                progress(0, steps * 1000, i * 1000);
                std::this_thread::sleep_for(50us);
            }
            TestPlatform::KillPoint();
            if (!stopped())
                testStatus(0, 0, engine.script_.run == EngineScript::Run::Pass ? 2 : 3);
            monitor(Monitor(0, 0));
            break;
        }
        case EngineScript::Run::UntilStopped:
            monitor(Monitor(0, 1));
            while (!stopped()) {
                TestPlatform::KillPoint();
                std::this_thread::sleep_for(100us);
            }
            monitor(Monitor(0, 0));
            break;
        case EngineScript::Run::Hang:
            monitor(Monitor(0, 1));
            TestPlatform::HangUntilEnded();
        case EngineScript::Run::Chatter:
            for (int i = 0;; ++i)
                progress(0, 100, i % 100);
        }
    } catch (const ForcedEnd&) {
        ++engine.runsUnwound_;
        --engine.runsInside_;
        throw;
    }
    ++engine.runsReturned_;
    --engine.runsInside_;
}

void FakeEngine::Stop() {
    FakeEngine& engine = Get();
    Presence inside(engine, &engine.exportsInside_);
    ++engine.stops_;
    ++engine.stopGeneration_;
    std::this_thread::sleep_for(300us); // a real stop takes its time
}

void FakeEngine::Release() {
    FakeEngine& engine = Get();
    {
        Presence inside(engine, nullptr);
        ++engine.releases_;
        if (engine.runsInside_ != 0)
            engine.Fault("ReleaseDownloadObj while a run is inside DownloadRun");
        if (engine.exportsInside_ != 0)
            engine.Fault("ReleaseDownloadObj while a thread is inside another export");
        engine.releasing_ = true;
    }
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(engine.mutex_);
        threads.swap(engine.ownThreads_);
    }
    for (auto& thread : threads)
        thread.join();
}

// One of the engine's own threads: messages, other cells' progress and starts, and cell 0's
// phone coming and going, until the engine is released.
void FakeEngine::Reporter(int index) {
    Presence inside(*this, nullptr);
    for (int n = 0; !releasing_; ++n) {
        MsgInfoRecord message{};
        message.cell = n % 3;
        message.msgType = 2;
        const std::wstring text = L"report " + std::to_wstring(index) + L"/" + std::to_wstring(n);
        CopyText(message.text, text.c_str());
        onMsgInfo_.load()(message);
        onProgress_.load()(1 + index % 7, 100, n % 100);
        if (n % 8 == 0)
            onTestStatus_.load()(1 + index % 7, 0, 1);
        if (n % 16 == 0)
            onMonitor_.load()(Monitor(n % 32 == 0 ? 0 : 1, 1));
        if (script_.reportFailures && n % 24 == 0)
            onTestStatus_.load()(0, 0, 3);
        std::this_thread::sleep_for(100us);
    }
}

} // namespace tarnvel::testing
