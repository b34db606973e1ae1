// The controller driving the simulated engine through whole upgrades.
#include "download/host_protocol.h"
#include "download/system_controller.h"

#include "support/sim_fixture.h"
#include "text/code_page.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

namespace tarnvel {
namespace {

using namespace std::chrono_literals;

using ::testing::AnyOf;
using ::testing::Contains;
using testing::Cp936;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::ReadFileBytes;
using ::testing::UnorderedElementsAre;

class ControllerTest : public testing::SimFixture {
protected:
    // Starts a verification of `package` and waits for the engine to have been initialised.
    void Verify(const std::wstring& package) {
        ASSERT_TRUE(controller_->SetPackagePath(package));
        controller_->PostCommand(Command::Verify);
    }

    // Starts the controller on this scenario and a verification of a package of that payload size.
    void StartVerifying(const std::string& scenario, std::size_t payloadSize) {
        SetScenario(scenario);
        StartController();
        Verify(MakePackage("5512Q", Payload(payloadSize)));
    }

    // The trace lines from the first one starting with `from`, keeping only lines that start with
    // one of the names given.
    std::vector<std::string> TraceOf(std::initializer_list<std::string> names) const {
        std::vector<std::string> kept;
        for (const auto& line : Trace()) {
            for (const auto& name : names) {
                if (line.rfind(name, 0) == 0) {
                    kept.push_back(line);
                    break;
                }
            }
        }
        return kept;
    }
};

TEST_F(ControllerTest, PassingUpgradeCopiesThePayloadAndLogsEveryEvent) {
    const std::string payload = Payload(300000);
    SetScenario("chunk_kb=64");
    std::atomic<int> closeAllowedWhileStarted{-1};
    recorder_.OnCall([&](const testing::HookCall& call) {
        if (call.name == "OnUpgradeStarted")
            closeAllowedWhileStarted = controller_->IsCloseAllowed();
    });
    StartController();
    Verify(MakePackage("5512Q", payload));
    ASSERT_TRUE(recorder_.WaitFor("OnUpgradeSucceeded", 15s));
    EXPECT_THAT(recorder_.Names(),
                ElementsAre("OnVerifyPassed", "OnUpgradeBegin", "OnUpgradeStarted", "OnUpgradeSucceeded"));
    EXPECT_EQ(closeAllowedWhileStarted, 0);
    // 300000 bytes in pieces of 65536: 21, 43, 65, 87, then 100, which the wizard is not told.
    EXPECT_THAT(recorder_.Progress(), ElementsAre(21, 43, 65, 87));
    EXPECT_TRUE(WaitForCloseAllowed(1s));
    EXPECT_EQ(ReadFileBytes(phone_), payload);
    ASSERT_TRUE(WaitForTrace("DownloadStop", 2s));
    ShutdownController();

    // The finish's stop races with the run's return: the success report holds the run's thread
    // inside the engine for the pause, and the run still reports the phone idle after it.
    auto trace = TraceOf({"Init", "Verify", "Download", "Release", "unloaded"});
    ASSERT_EQ(trace.size(), 9u);
    EXPECT_THAT(std::vector<std::string>(trace.begin(), trace.begin() + 4),
                ElementsAre("InitDownloadObj path=" + Utf8FromWide(scratch_ / L"p.rzb") +
                                " model=5512Q extra= settings=2,3,1,0 switches=1111111",
                            "VerifyDataofRZB", "VerifyDataofRZB status=2", "DownloadRun reserved=0"));
    EXPECT_THAT(std::vector<std::string>(trace.begin() + 4, trace.begin() + 7),
                UnorderedElementsAre("DownloadRun returned", "DownloadStop", "DownloadStop"));
    EXPECT_THAT(std::vector<std::string>(trace.begin() + 7, trace.end()),
                ElementsAre("ReleaseDownloadObj runs_alive=0", "unloaded"));
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines.front(), Cp936(L"提示:HNDA:USendMsgInfo:0, 2, Verify: checking package, ") +
                                 Utf8FromWide(scratch_ / L"p.rzb"));
    EXPECT_THAT(lines, Contains(Cp936(L"提示:HNDA:UCheckdataStatus:0, 2, Verify data file OK!")));
    EXPECT_THAT(lines, Contains(Cp936(L"提示:HNDA:UMonitorStatus:0, 1, COM10")));
    EXPECT_THAT(lines, Contains(Cp936(L"提示:HNDA:UTestStatus:0, 0, 1")));
    EXPECT_THAT(lines, Contains(Cp936(L"提示:HNDA:UShowProgress:0, 300000, 65536")));
    EXPECT_THAT(lines, Contains(Cp936(L"提示:HNDA:UShowProgress:0, 300000, 300000")));
    EXPECT_EQ(lines.back(), Cp936(L"提示:HNDA:UMonitorStatus:0, 0, COM10"));
    EXPECT_EQ(LogFiles().size(), 1u);
}

TEST_F(ControllerTest, ModelAliasAppliesToTheExactName) {
    SetScenario("verify=fail");
    StartController();
    const std::pair<std::string, std::string> cases[] = {
        {"5512QDS", "5512Q"}, {"5512qds", "5512qds"}, {"5512QDS ", "5512QDS "}, {"5512Q", "5512Q"}};
    int round = 0;
    for (const auto& [inPackage, toEngine] : cases) {
        Verify(MakePackage(inPackage, "x", "m" + std::to_string(round) + ".rzb"));
        ASSERT_TRUE(recorder_.WaitFor("OnVerifyFailed", 5s, ++round));
        EXPECT_THAT(TraceOf({"InitDownloadObj"}).back(),
                    ::testing::HasSubstr(" model=" + toEngine + " extra="));
    }
}

TEST_F(ControllerTest, CorruptPackageFailsVerificationAndNothingRuns) {
    StartController();
    const std::wstring package = MakePackage("5512Q", Payload(5000));
    std::string bytes = ReadFileBytes(package);
    bytes[bytes.size() - 10] ^= 0x40;
    ASSERT_TRUE(testing::WriteFileBytes(package, bytes));
    Verify(package);
    ASSERT_TRUE(recorder_.WaitFor("OnVerifyFailed", 5s));
    std::this_thread::sleep_for(200ms);
    EXPECT_THAT(recorder_.Names(), ElementsAre("OnVerifyFailed"));
    ShutdownController();
    EXPECT_THAT(TraceOf({"DownloadRun"}), IsEmpty());
    EXPECT_THAT(LogLines(), Contains(Cp936(L"错误:HNDA:UCheckdataStatus:0, 3, payload checksum mismatch")));
}

TEST_F(ControllerTest, EachFailedVerificationEndsItsOwnLog) {
    SetScenario("verify=fail");
    StartController();
    const std::wstring package = MakePackage("5512Q", "x");
    Verify(package);
    ASSERT_TRUE(recorder_.WaitFor("OnVerifyFailed", 5s));
    std::this_thread::sleep_for(1100ms); // log files are named by the second
    Verify(package);
    ASSERT_TRUE(recorder_.WaitFor("OnVerifyFailed", 5s, 2));
    ShutdownController();
    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 2u);
    for (const auto& file : files) {
        const std::string bytes = ReadFileBytes(file);
        EXPECT_THAT(bytes, HasSubstr(Cp936(L"错误:HNDA:UCheckdataStatus:0, 3, ")));
        EXPECT_THAT(bytes, Not(HasSubstr(Cp936(L"日志正在记录，开始记录日志操作被忽略!"))));
    }
}

TEST_F(ControllerTest, DownloadFailureStopsTheEngineAndAllowsClosing) {
    StartVerifying("outcome=fail;fail_at=40;chunk_kb=16", 160000);
    ASSERT_TRUE(recorder_.WaitFor("OnUpgradeFailed", 15s));
    EXPECT_TRUE(WaitForCloseAllowed(1s));
    ASSERT_TRUE(WaitForTrace("DownloadStop", 2s));
    std::this_thread::sleep_for(2200ms);
    EXPECT_THAT(recorder_.Names(),
                ElementsAre("OnVerifyPassed", "OnUpgradeBegin", "OnUpgradeStarted", "OnUpgradeFailed"));
    const auto progress = recorder_.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_LT(progress.back(), 50);
    ShutdownController();
    const auto lines = LogLines();
    EXPECT_THAT(lines, Contains(Cp936(L"错误:HNDA:UTestStatus:0, 3, 3")));
    // The failure closed the log: the engine's last report after it is in no file.
    EXPECT_THAT(lines, Not(Contains(Cp936(L"提示:HNDA:UMonitorStatus:0, 0, COM10"))));
}

TEST_F(ControllerTest, BackWhileWaitingForThePhoneStopsTheRunAndClosesTheLog) {
    StartVerifying("outcome=never", 1000);
    ASSERT_TRUE(recorder_.WaitFor("OnVerifyPassed", 5s));
    ASSERT_TRUE(WaitForTrace("DownloadRun reserved=0", 2s));
    controller_->BeginStop();
    controller_->PostCommand(Command::EndLog);
    ASSERT_TRUE(WaitForTrace("DownloadRun returned stopped", 3s));
    EXPECT_TRUE(controller_->IsCloseAllowed());
    // A second round on the same controller starts a new log file.
    std::this_thread::sleep_for(1100ms);
    SetScenario("outcome=pass");
    Verify(MakePackage("5512Q", Payload(1000), "second.rzb"));
    ASSERT_TRUE(recorder_.WaitFor("OnUpgradeSucceeded", 10s));
    ShutdownController();
    EXPECT_EQ(LogFiles().size(), 2u);
    // The finish and the shutdown both stop the engine (the finish's stop may lose the race
    // with the shutdown, which then stops the engine alone). The second run's return races with
    // both: the success report holds the run's thread inside the engine, and the finish is
    // taken as soon as it is posted, so the run may see the finish's stop before it returns.
    auto trace = TraceOf({"DownloadRun", "DownloadStop"});
    ASSERT_GE(trace.size(), 6u);
    const std::vector<std::string> firstRound(trace.begin(), trace.begin() + 4);
    const std::vector<std::string> secondRoundEnd(trace.begin() + 4, trace.end());
    EXPECT_THAT(firstRound, ElementsAre("DownloadRun reserved=0", "DownloadStop",
                                        "DownloadRun returned stopped", "DownloadRun reserved=0"));
    const auto returned = AnyOf("DownloadRun returned", "DownloadRun returned stopped");
    EXPECT_EQ(std::count_if(secondRoundEnd.begin(), secondRoundEnd.end(),
                            [](const std::string& call) { return call.starts_with("DownloadRun returned"); }),
              1);
    EXPECT_THAT(secondRoundEnd, Each(AnyOf(returned, "DownloadStop")));
    EXPECT_LE(secondRoundEnd.size(), 3u);
}

// Of two codes posted before the control thread takes one, only the second is there to take. (The
// control thread wakes at the first post, so whether it takes that one first is the scheduler's
// choice: the mailbox, not the controller, is what can be held to this.)
TEST(CommandMailboxTest, ACodePostedBeforeThePreviousOneWasTakenReplacesIt) {
    detail::CommandMailbox mailbox;
    mailbox.Post(Command::Verify);
    mailbox.Post(Command::EndLog);
    mailbox.WaitForPost(); // returns at once: a post is there
    ASSERT_TRUE(mailbox.Pending());
    EXPECT_EQ(mailbox.Code(), Command::EndLog);
    mailbox.Clear();
    EXPECT_FALSE(mailbox.Pending());
}

TEST_F(ControllerTest, ShutdownMidDownloadStopsEndsTheRunReleasesAndUnloadsInOrder) {
    StartVerifying("speed_kbps=64;chunk_kb=4", 1 << 20);
    ASSERT_TRUE(recorder_.WaitFor("OnProgress", 10s));
    EXPECT_FALSE(controller_->IsCloseAllowed());
    ShutdownController();
    EXPECT_THAT(TraceOf({"DownloadRun returned", "DownloadStop", "Release", "unloaded"}),
                ElementsAre("DownloadStop", "DownloadRun returned stopped", "ReleaseDownloadObj runs_alive=0",
                            "unloaded"));
    EXPECT_EQ(recorder_.Count("OnUpgradeSucceeded") + recorder_.Count("OnUpgradeFailed"), 0);
}

TEST_F(ControllerTest, ShutdownThrowsAwayAnEngineWhoseRunIgnoresTheStop) {
    StartVerifying("outcome=hang;hang_at=20;chunk_kb=8", 100000);
    ASSERT_TRUE(WaitForTrace("DownloadRun hanging", 10s));
    const auto before = std::chrono::steady_clock::now();
    ShutdownController();
    std::printf("[ figure ] Shutdown with a hung DownloadRun took %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - before)
                                           .count()));
    // Its host was ended with the engine in it: nothing more was asked of that engine.
    EXPECT_THAT(TraceOf({"DownloadRun returned", "DownloadStop", "Release", "unloaded"}),
                ElementsAre("DownloadStop"));
}

// The engines that misbehave as closed engines do: each is thrown away whole, and the next phone
// gets a fresh one.
TEST_F(ControllerTest, AfterAnEngineThatKeptItsLockTheNextVerificationReachesAFreshEngine) {
    StartVerifying("outcome=lock", 1000);
    ASSERT_TRUE(WaitForTrace("DownloadRun waiting with the engine's lock", 10s));
    controller_->BeginStop(); // Back: the run ignores the stop, keeping its lock
    controller_->PostCommand(Command::EndLog);
    std::this_thread::sleep_for(200ms); // Next again while that engine is still being given its grace
    SetScenario("outcome=pass");
    Verify(MakePackage("5512Q", Payload(1000), "second.rzb"));
    ASSERT_TRUE(recorder_.WaitFor("OnUpgradeSucceeded", 15s));
    EXPECT_EQ(recorder_.Count("OnVerifyFailed"), 0);
    EXPECT_EQ(recorder_.Count("OnUpgradeFailed"), 0);
}

// The host's dumps beside the program, for the dump report's test too: only added to.
std::size_t HostDumps() {
    std::size_t count = 0;
    for (const std::wstring& name : testing::FilesIn(ExecutableFolder() + L"\\DumpLog"))
        count += name.rfind(kEngineHostDumpPrefix, 0) == 0 ? 1 : 0;
    return count;
}

TEST_F(ControllerTest, AnEngineCrashMidDownloadFailsTheUpgradeAfterAllItSaid) {
    const std::size_t dumpsBefore = HostDumps();
    // An engine whose own crash filter would end the process without a dump.
    StartVerifying("outcome=crash;crash_at=30;chunk_kb=16;own_filter=1", 256 * 1024);
    ASSERT_TRUE(recorder_.WaitFor("OnUpgradeFailed", 15s));
    EXPECT_TRUE(WaitForCloseAllowed(1s));
    EXPECT_TRUE(WaitForLastLogLine(Cp936(L"错误:下载引擎意外退出 (0xC0000005)"), 2s));
    const auto failed = LogLines();
    ASSERT_GE(failed.size(), 2u);
    EXPECT_THAT(failed[failed.size() - 2], HasSubstr("Crashing at "));
    EXPECT_EQ(HostDumps(), dumpsBefore + 1);
    // The next phone, on a fresh engine.
    std::this_thread::sleep_for(1100ms); // log files are named by the second
    SetScenario("outcome=pass");
    Verify(MakePackage("5512Q", Payload(1000), "second.rzb"));
    ASSERT_TRUE(recorder_.WaitFor("OnUpgradeSucceeded", 15s));
    EXPECT_EQ(LogFiles().size(), 2u);
}

// A thread whose stack is used up cannot write a dump itself: the host's dump thread does.
TEST_F(ControllerTest, AStackOverflowInTheEngineStillLeavesADump) {
    const std::size_t dumpsBefore = HostDumps();
    StartVerifying("outcome=overflow;crash_at=30;chunk_kb=16", 256 * 1024);
    ASSERT_TRUE(recorder_.WaitFor("OnUpgradeFailed", 15s));
    EXPECT_TRUE(WaitForLastLogLine(Cp936(L"错误:下载引擎意外退出 (0xC00000FD)"), 2s));
    EXPECT_EQ(HostDumps(), dumpsBefore + 1);
}

TEST_F(ControllerTest, ShutdownEndsAnEngineThatNeverReturnsFromItsStopOrRelease) {
    for (const char* scenario : {"outcome=never;stop_hangs=1", "outcome=never;release_hangs=1"}) {
        SCOPED_TRACE(scenario);
        DeleteFileW((scratch_ / L"trace.txt").c_str());
        StartVerifying(scenario, 1000);
        ASSERT_TRUE(WaitForTrace("DownloadRun reserved=0", 10s));
        const auto before = std::chrono::steady_clock::now();
        ShutdownController();
        const auto took = std::chrono::steady_clock::now() - before;
        std::printf(
            "[ figure ] Shutdown with %s took %lld ms\n", scenario,
            static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
        // Far below the 10 s a thread inside the engine would otherwise be given.
        EXPECT_LT(took, 5s);
    }
}

TEST_F(ControllerTest, StormOfEventsFromManyThreadsLosesNoLine) {
    StartVerifying("storm_rate=3000;storm_threads=4;speed_kbps=400;chunk_kb=16", 600000);
    ASSERT_TRUE(recorder_.WaitFor("OnUpgradeSucceeded", 30s));
    ShutdownController();
    // Each storm thread numbers its events; its messages are the odd numbers, all of them there.
    std::map<int, std::vector<long long>> seen;
    const std::string prefix = Cp936(L"提示:HNDA:USendMsgInfo:0, 2, storm ");
    for (const auto& line : LogLines()) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        const std::string rest = line.substr(prefix.size());
        seen[std::stoi(rest)].push_back(std::stoll(rest.substr(rest.find('/') + 1)));
    }
    ASSERT_EQ(seen.size(), 4u);
    std::size_t total = 0;
    for (auto& [thread, numbers] : seen) {
        std::sort(numbers.begin(), numbers.end());
        for (std::size_t i = 0; i < numbers.size(); ++i)
            ASSERT_EQ(numbers[i], static_cast<long long>(2 * i + 1)) << "storm thread " << thread;
        total += numbers.size();
    }
    std::printf("[ figure ] storm messages logged: %zu, progress calls to the wizard: %zu\n", total,
                recorder_.Progress().size());
    EXPECT_GT(total, 500u);
}

TEST_F(ControllerTest, MalformedRecordsAreLoggedSafely) {
    StartVerifying("malformed=1", 1000);
    ASSERT_TRUE(recorder_.WaitFor("OnUpgradeSucceeded", 10s));
    ShutdownController();
    std::string text;
    for (const auto& line : LogLines())
        text += line + "\n";
    // Texts that fill their fields end there; cells -1 and 99 reach no file (verification
    // results always go to cell 0's).
    EXPECT_THAT(text, HasSubstr(Cp936(L"HNDA:USendMsgInfo:0, 7, ") + std::string(256, 'A') + ", " +
                                std::string(1024, 'B') + Cp936(L"提示:HNDA:UMonitorStatus:0, 1, ") +
                                std::string(64, 'M') + "\n"));
    EXPECT_THAT(text, Not(HasSubstr("UShowProgress:99,")));
    EXPECT_THAT(text, Not(HasSubstr("USendMsgInfo:-1,")));
    EXPECT_THAT(text, HasSubstr("HNDA:UCheckdataStatus:99, 7, " + std::string(1024, 'C') +
                                "HNDA:UCheckdataStatus:-1"));
    EXPECT_THAT(text, HasSubstr(Cp936(L"提示:HNDA:UShowProgress:0, 0, 17\n")));
    EXPECT_THAT(text, HasSubstr(Cp936(L"HNDA:UTestStatus:0, 0, 9提示:HNDA:UShowProgress:0, 1000, 1000\n")));
    // Two OnUpgradeBegin: cell 99's start and cell 0's; OnProgress 0 for the total of 0.
    EXPECT_EQ(recorder_.Count("OnUpgradeBegin"), 2);
    EXPECT_EQ(recorder_.Progress().front(), 0);
    for (int percent : recorder_.Progress()) {
        EXPECT_GE(percent, 0);
        EXPECT_LE(percent, 98);
    }
}

TEST_F(ControllerTest, ShutdownWaitsForAVerificationInsideTheEngineBeforeUnloadingIt) {
    StartVerifying("verify_ms=4000", 4 << 20);
    ASSERT_TRUE(WaitForTrace("VerifyDataofRZB", 5s));
    std::this_thread::sleep_for(300ms);
    ShutdownController();
    EXPECT_THAT(TraceOf({"Verify", "DownloadStop", "Release", "unloaded"}),
                ElementsAre("VerifyDataofRZB", "DownloadStop", "VerifyDataofRZB stopped",
                            "ReleaseDownloadObj runs_alive=0", "unloaded"));
}

// A hook that acts on a window of the UI thread waits for that thread to handle a sent message;
// Shutdown, on the UI thread, must go on handling them while it waits for the control thread.
TEST_F(ControllerTest, ShutdownKeepsHandlingMessagesSentByAHook) {
    static HWND window = nullptr;
    static HANDLE hookEntered = nullptr;
    window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    hookEntered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    StartController();
    recorder_.OnCall([](const testing::HookCall& call) {
        if (call.name != "OnVerifyPassed")
            return;
        SetEvent(hookEntered);
        Sleep(100);                          // the UI thread is in Shutdown by now
        SetWindowTextW(window, L"verified"); // sends WM_SETTEXT to the UI thread and waits
    });
    Verify(MakePackage("5512Q", "x"));
    ASSERT_EQ(WaitForSingleObject(hookEntered, 5000), WAIT_OBJECT_0);
    ShutdownController();
    wchar_t text[32] = {};
    GetWindowTextW(window, text, 32);
    EXPECT_STREQ(text, L"verified");
    DestroyWindow(window);
    CloseHandle(hookEntered);
}

TEST(ControllerWithoutEngine, PathsOverTheLimitAreRefusedAndShutdownIsImmediate) {
    SystemController system;
    DownloadController& controller = *system;
    EXPECT_TRUE(controller.SetPackagePath(std::wstring(255, L'a')));
    EXPECT_FALSE(controller.SetPackagePath(std::wstring(256, L'a')));
    EXPECT_FALSE(controller.SetPackagePath(std::wstring(L"a\0b", 3)));
    controller.PostCommand(Command::Verify);
    EXPECT_TRUE(controller.IsCloseAllowed());
    const auto before = std::chrono::steady_clock::now();
    controller.Shutdown();
    controller.Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
}

} // namespace
} // namespace tarnvel
