// The controller's threading on std::thread with a scripted engine: the mailbox against posters
// on several threads, and Shutdown at random points against running workers and the engine's
// own threads. Run under ThreadSanitizer it also shows any unguarded shared field.
#include "download/download_controller.h"

#include "download/engine_host_session.h"
#include "support/fake_engine.h"
#include "support/fake_host.h"
#include "support/memory_log_sink.h"
#include "support/test_platform.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace tarnvel {
namespace {

using namespace std::chrono_literals;
using testing::EngineScript;
using testing::FakeEngine;
using testing::FakeHost;
using testing::MemoryLogSink;
using testing::TestPlatform;

constexpr std::size_t kEventKinds = static_cast<std::size_t>(DownloadEventKind::CloseAllowedChanged) + 1;

// What the client's sink saw.
struct EventRecord final : DownloadEventSink {
    std::array<std::atomic<int>, kEventKinds> calls{};
    std::atomic<bool> shutDown{false};
    std::atomic<int> afterShutdown{0};
    std::atomic<int> badPercents{0};

    void Reset() {
        for (auto& count : calls)
            count = 0;
        shutDown = false;
        afterShutdown = 0;
        badPercents = 0;
    }
    int Count(DownloadEventKind kind) const { return calls[static_cast<std::size_t>(kind)]; }

    void OnDownloadEvent(const DownloadEvent& event) override {
        TestPlatform::EnterHook();
        if (shutDown)
            ++afterShutdown;
        if (event.kind == DownloadEventKind::Progress) {
            if (event.percent < 0 || event.percent > 98)
                ++badPercents;
            std::this_thread::yield(); // a sink that takes a moment, as a window's would
        }
        ++calls[static_cast<std::size_t>(event.kind)];
        TestPlatform::LeaveHook();
    }
};
EventRecord g_hooks;

// A controller as the main window makes it, on the test platform, with the fake engine in a fake
// host that it reaches through the program's channel.
std::shared_ptr<DownloadController> StartController(TestPlatform& platform,
                                                    std::shared_ptr<MemoryLogSink> sink,
                                                    const ControllerTimings& timings) {
    auto core = std::make_shared<DownloadController>(platform, std::make_unique<CellLog>(L"D:\\Tools", sink),
                                                     timings);
    core->SetExeFolder(L"D:\\Tools");
    core->Register();
    core->SetEventSink(&g_hooks);
    FakeHost::ResetCounts();
    auto session = std::make_shared<EngineHostSession>(FakeHost::Starter(platform));
    EXPECT_TRUE(session->Open());
    core->StartEngine(session->Engine());
    return core;
}

// A failed assertion leaves the test early: the controller's threads must still end.
struct ShutdownAtExit {
    std::shared_ptr<DownloadController> core;
    ~ShutdownAtExit() { core->Shutdown(); }
};

bool IsControllerCode(Command code) {
    return code == Command::EndLog || code == Command::Verify || code == Command::VerifyPassed ||
           code == Command::Run || code == Command::Finish;
}

// Liveness, not timing: the bound only keeps a lost command from hanging the test.
template <typename Done> bool Eventually(Done done) {
    const auto limit = std::chrono::steady_clock::now() + 60s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit)
            return done();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

long long MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

unsigned Seed() {
    const char* text = std::getenv("TARNVEL_STRESS_SEED");
    return text != nullptr ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : 20160226u;
}

void ExpectNoFaults(const TestPlatform& platform) {
    for (const auto& fault : platform.Faults())
        ADD_FAILURE() << "platform: " << fault;
    for (const auto& fault : FakeEngine::Get().Faults())
        ADD_FAILURE() << "engine: " << fault;
}

int AlreadyOpenWarnings(const MemoryLogSink& sink) {
    int warnings = 0;
    for (const auto& line : sink.Debugger())
        warnings += line.find(L"日志正在记录") != std::wstring::npos ? 1 : 0;
    return warnings;
}

// Posters on several threads against the control loop, which sleeps until a post wakes it.
// A code posted before the previous one was taken replaces it, so commands may be lost; what
// must hold is that no more codes are taken than were posted, that every code taken did all of
// its work, and that the loop still takes what is posted once the posters are gone.
TEST(ControllerThreads, PostersOnSeveralThreadsAgainstTheControlLoop) {
    constexpr int kPosters = 4, kPostsEach = 5000;
    TestPlatform platform;
    EngineScript script;
    script.verify = EngineScript::Verify::Silent;
    script.run = EngineScript::Run::AtOnce;
    FakeEngine& engine = FakeEngine::Get();
    engine.Reset(script);
    g_hooks.Reset();
    auto sink = std::make_shared<MemoryLogSink>(true);
    const ControllerTimings timings;
    const auto start = std::chrono::steady_clock::now();
    auto core = StartController(platform, sink, timings);
    const ShutdownAtExit guard{core};
    ASSERT_TRUE(core->SetPackagePath(L"D:\\Tools\\p.rzb"));

    std::atomic<int> posts{0}, beginStops{0};
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&, p] {
            std::mt19937 random(Seed() + static_cast<unsigned>(p));
            // Each code of the controller, and two that are not (they stay pending).
            const Command codes[] = {Command::EndLog, Command::Verify, Command::VerifyPassed,
                                     Command::Run,    Command::Finish, Command{1},
                                     Command{32}};
            for (int i = 0; i < kPostsEach; ++i) {
                if (random() % 50 == 0) {
                    core->BeginStop(); // BeginStop, and a failure report's stop
                    ++beginStops;
                    continue;
                }
                core->PostCommand(codes[random() % std::size(codes)]);
                ++posts;
                if (random() % 4 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
                if (!core->IsCloseAllowed())
                    std::this_thread::yield();
            }
        });
    }
    for (auto& poster : posters)
        poster.join();

    // The loop may still be on the posters' last code (Command::VerifyPassed posts Command::Run, which would
    // replace a code posted now): wait until it is empty or holds a code that is not its own.
    ASSERT_TRUE(
        Eventually([&] { return !core->Mailbox().Pending() || !IsControllerCode(core->Mailbox().Code()); }));
    const int finished = g_hooks.Count(DownloadEventKind::UpgradeSucceeded);
    core->PostCommand(Command::Finish);
    ++posts;
    ASSERT_TRUE(Eventually([&] { return g_hooks.Count(DownloadEventKind::UpgradeSucceeded) > finished; }));
    const int passed = g_hooks.Count(DownloadEventKind::VerifyPassed);
    const int runs = engine.Runs();
    core->PostCommand(Command{32});
    core->PostCommand(Command::VerifyPassed); // replaces the unknown code; Command::Run follows by itself
    posts += 2;
    // A run the posters started may still be on its way through the host, and count first: the
    // hook says that this post was taken, and a run follows it.
    ASSERT_TRUE(Eventually([&] { return g_hooks.Count(DownloadEventKind::VerifyPassed) > passed; }));
    ASSERT_TRUE(Eventually([&] { return engine.Runs() > runs; }));
    EXPECT_EQ(g_hooks.Count(DownloadEventKind::VerifyPassed), passed + 1);
    core->Shutdown();
    g_hooks.shutDown = true;
    const long long elapsed = MsSince(start);

    ExpectNoFaults(platform);
    EXPECT_EQ(platform.Running(), 0u);
    EXPECT_EQ(FakeHost::Discarded(), 0);
    EXPECT_TRUE(engine.Unloaded());
    // Every Command::Verify taken opened cell 0's log (a new file, or a warning when it was open)
    // and initialised the engine once.
    const int inits = engine.Inits();
    EXPECT_EQ(sink->Creates() + AlreadyOpenWarnings(*sink), inits);
    // Every finish and every BeginStop ran its stop, and Shutdown stopped the engine once more.
    const int succeeded = g_hooks.Count(DownloadEventKind::UpgradeSucceeded);
    EXPECT_EQ(engine.Stops(), succeeded + beginStops + 1);
    // Command::VerifyPassed posts Command::Run itself; the other codes taken each used up one post.
    const int taken = inits + engine.Runs() + succeeded;
    EXPECT_LE(taken, posts.load());
    EXPECT_EQ(engine.Runs(), engine.RunsReturned());
    EXPECT_EQ(g_hooks.afterShutdown, 0);
    std::printf(
        "[ figure ] %d posters x %d: %d posts, %d BeginStops; taken: %d verify, %d verify passed, %d run, "
        "%d finish; %zu threads, %lld ms\n",
        kPosters, kPostsEach, posts.load(), beginStops.load(), inits,
        g_hooks.Count(DownloadEventKind::VerifyPassed), engine.Runs(), succeeded, platform.Started(),
        elapsed);
}

// One poster against the control loop's wait, at varying distances from the loop's last look:
// each post is taken with no other post to wake the loop, and a Shutdown that races the wait
// ends the loop. A lost wake-up leaves a code pending, or Shutdown waiting, for good.
TEST(ControllerThreads, APostRacingTheControlLoopsWaitIsTakenAndShutdownEndsIt) {
    constexpr int kControllers = 40, kPostsEach = 250;
    std::mt19937 random(Seed());
    FakeEngine& engine = FakeEngine::Get();
    for (int round = 0; round < kControllers; ++round) {
        SCOPED_TRACE("controller " + std::to_string(round));
        TestPlatform platform;
        engine.Reset(EngineScript{});
        g_hooks.Reset();
        auto core = StartController(platform, std::make_shared<MemoryLogSink>(true), ControllerTimings{});
        const ShutdownAtExit guard{core};
        for (int post = 0; post < kPostsEach; ++post) {
            if (random() % 2 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 50));
            core->PostCommand(Command::EndLog); // the log is closed: taking it does nothing else
            ASSERT_TRUE(Eventually([&] { return !core->Mailbox().Pending(); })) << "post " << post;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 100));
        core->Shutdown();
        EXPECT_EQ(platform.Running(), 0u);
        ExpectNoFaults(platform);
    }
}

// Rounds of verify, run, Back and failure on one controller each, ended by Shutdown at a random
// moment while the control thread, verification, runs (some ignoring DownloadStop), stops and
// the engine's own reporting threads are under way.
TEST(ControllerThreads, ShutdownAtRandomPointsAgainstRunningWorkers) {
    constexpr int kRounds = 300;
    std::mt19937 random(Seed());
    FakeEngine& engine = FakeEngine::Get();
    int totalRuns = 0, totalForced = 0, totalInits = 0, totalHosts = 0, totalDiscarded = 0;
    std::size_t totalThreads = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(Seed()));
        TestPlatform platform;
        EngineScript script;
        script.initResult = random() % 10 == 0 ? 0 : 1;
        script.verify = random() % 6 == 0 ? EngineScript::Verify::Fail : EngineScript::Verify::Pass;
        script.verifyOnOwnThread = random() % 2 == 0;
        script.verifyMicros = static_cast<int>(random() % 3000);
        const EngineScript::Run runs[] = {EngineScript::Run::Pass,         EngineScript::Run::Fail,
                                          EngineScript::Run::UntilStopped, EngineScript::Run::Hang,
                                          EngineScript::Run::Chatter,      EngineScript::Run::AtOnce};
        script.run = runs[random() % std::size(runs)];
        script.progressSteps = static_cast<int>(random() % 12);
        script.reportingThreads = static_cast<int>(random() % 3);
        script.reportFailures = random() % 3 == 0;
        engine.Reset(script);
        g_hooks.Reset();
        ControllerTimings timings;
        timings.finishPauseMs = random() % 3;
        timings.runGraceMs = random() % 4;
        timings.discardReturnMs = 30000;
        timings.engineThreadsMs = 30000;
        auto sink = std::make_shared<MemoryLogSink>(true);
        auto core = StartController(platform, sink, timings);
        const ShutdownAtExit guard{core};

        const int steps = static_cast<int>(random() % 4);
        for (int step = 0; step < steps; ++step) {
            core->SetPackagePath(random() % 8 == 0 ? std::wstring(300, L'a') : L"D:\\Tools\\p.rzb");
            core->PostCommand(Command::Verify);
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
            if (random() % 2 == 0) { // Back
                core->BeginStop();
                core->PostCommand(Command::EndLog);
            }
            if (!core->IsCloseAllowed())
                std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 6000));
        core->Shutdown();
        g_hooks.shutDown = true;

        ExpectNoFaults(platform);
        // Nothing the controller started is left, the engine was released with no thread
        // inside it and then unloaded (or, when it would not stop, thrown away whole with its
        // host), and no hook was called after Shutdown returned.
        EXPECT_EQ(platform.Running(), 0u);
        EXPECT_EQ(engine.Inside(), 0);
        if (FakeHost::LastExitCode() == 0) {
            EXPECT_EQ(engine.Releases(), 1);
            EXPECT_TRUE(engine.Unloaded());
        } else {
            EXPECT_FALSE(engine.Unloaded());
        }
        EXPECT_EQ(engine.Runs(), engine.RunsReturned() + engine.RunsUnwound());
        EXPECT_EQ(g_hooks.afterShutdown, 0);
        EXPECT_EQ(g_hooks.badPercents, 0);
        core->Shutdown(); // a second time does nothing
        core.reset();
        platform.JoinAll();
        ExpectNoFaults(platform);
        totalRuns += engine.Runs();
        totalInits += engine.Inits();
        totalForced += static_cast<int>(platform.ForcedEnds());
        totalHosts += FakeHost::Started();
        totalDiscarded += FakeHost::Discarded();
        totalThreads += platform.Started();
        if (::testing::Test::HasFailure())
            break;
    }
    std::printf("[ figure ] %d shutdown rounds: %d verifications, %d runs, %d hosts (%d thrown away), %d "
                "threads ended with them, %zu threads, %lld ms\n",
                kRounds, totalInits, totalRuns, totalHosts, totalDiscarded, totalForced, totalThreads,
                MsSince(start));
}

// A host whose bytes do not decode is ended: the verification it served fails, and cell 0's log
// says so with the host's own code for a broken channel.
TEST(ControllerThreads, AHostWhoseReportsDoNotDecodeIsEndedAndItsVerificationFails) {
    TestPlatform platform;
    FakeEngine::Get().Reset(EngineScript{});
    g_hooks.Reset();
    auto sink = std::make_shared<MemoryLogSink>(true);
    FakeHost::CorruptReports(true);
    {
        auto core = StartController(platform, sink, ControllerTimings{});
        const ShutdownAtExit guard{core};
        ASSERT_TRUE(core->SetPackagePath(L"D:\\Tools\\p.rzb"));
        core->PostCommand(Command::Verify);
        ASSERT_TRUE(Eventually([] { return g_hooks.Count(DownloadEventKind::VerifyFailed) == 1; }));
        EXPECT_EQ(FakeHost::LastExitCode(), 3u);
        EXPECT_TRUE(core->IsCloseAllowed());
        core->Shutdown();
    }
    FakeHost::CorruptReports(false);
    EXPECT_EQ(g_hooks.Count(DownloadEventKind::VerifyPassed), 0);
    bool logged = false;
    for (const auto& [file, bytes] : sink->Files())
        logged = logged || bytes.find(" (0x00000003)\r\n") != std::string::npos;
    EXPECT_TRUE(logged);
    ExpectNoFaults(platform);
}

} // namespace
} // namespace tarnvel
