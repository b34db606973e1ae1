// End to end: the console harness with the real controller and the simulated engine as
// dVarnok.dll, each run in a fresh folder of its own, watched through the harness's output,
// the engine's trace, the log files and the phone's storage file.
#include "support/sim_fixture.h"
#include "support/test_files.h"
#include "download/host_protocol.h"
#include "download/package_header.h"
#include "payload_format.h"
#include "scenario.h"
#include "rzb_writer.h"
#include "text/code_page.h"
#include "text/text_format.h"

#include <gmock/gmock.h>

#include <windows.h>

#include <algorithm>
#include <regex>
#include <span>
#include <thread>

namespace tarnvel {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using testing::CopyFileTo;
using testing::Cp936;
using ::testing::ElementsAre;
using testing::FileExists;
using testing::FilesIn;
using testing::FolderExists;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::ReadFileBytes;
using testing::SplitLines;

const std::wstring kBin = FolderOfPath(ExecutableFolder());

struct HarnessRun {
    int exitCode = -1;
    std::vector<std::string> events; // the harness's lines without their time stamps
    std::vector<std::string> Hooks() const {
        std::vector<std::string> hooks;
        for (const auto& event : events) {
            if (event.rfind("On", 0) == 0 && event.rfind("OnProgress", 0) != 0)
                hooks.push_back(event.substr(0, event.find(' ')));
        }
        return hooks;
    }
    std::vector<int> Progress() const {
        std::vector<int> values;
        for (const auto& event : events) {
            if (event.rfind("OnProgress ", 0) == 0)
                values.push_back(std::stoi(event.substr(11)));
        }
        return values;
    }
};

struct ProcessResult {
    int exitCode = -1;
    std::string output; // standard output and error
};

// Runs a program to its end (at most a minute) and collects what it prints.
ProcessResult RunProcess(std::wstring command, const std::wstring& folder) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        folder.c_str(), &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        ADD_FAILURE() << "cannot start " << Utf8FromWide(command);
        return result;
    }
    std::thread reader([&] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0)
            result.output.append(buffer, got);
    });
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        ADD_FAILURE() << Utf8FromWide(command) << " did not end";
    }
    reader.join();
    CloseHandle(readEnd);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

class HarnessTest : public ::testing::Test {
protected:
    // A demo folder holding the harness and an engine (default: the full simulation).
    void MakeDemo(std::wstring_view folderName = L"demo",
                  const std::wstring& engine = L"tarnvel_sim_engine.dll") {
        folder_ = scratch_ / std::wstring(folderName);
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileTo(kBin + L"\\tarnvel_harness.exe", folder_ + L"\\tarnvel_harness.exe"));
        ASSERT_TRUE(CopyFileTo(kBin + L"\\" + kEngineHostFileName, folder_ + L"\\" + kEngineHostFileName));
        ASSERT_TRUE(CopyFileTo(kBin + L"\\" + engine, folder_ + L"\\dVarnok.dll"));
    }

    std::wstring Package(const std::string& payload) {
        const std::wstring path = folder_ + L"\\p.rzb";
        EXPECT_TRUE(testing::WritePackage(path, 17, "5512Q", payload));
        return path;
    }

    static std::string Payload(std::size_t size) { return testing::GeneratedPayload(size, 7); }

    HarnessRun Harness(const std::string& scenario, std::vector<std::wstring> steps) {
        const std::string text = "trace=trace.txt;arrival_ms=100;verify_ms=20;speed_kbps=0;" + scenario;
        SetEnvironmentVariableW(L"TARNVEL_SIM_SCENARIO", WideFromUtf8(text).c_str());
        std::wstring command = L"\"" + folder_ + L"\\tarnvel_harness.exe\"";
        for (const auto& step : steps)
            command += L" \"" + step + L"\"";
        HarnessRun run;
        const ProcessResult result = RunProcess(command, folder_);
        SetEnvironmentVariableW(L"TARNVEL_SIM_SCENARIO", nullptr);
        run.exitCode = result.exitCode;
        const std::string& output = result.output;
        for (const auto& line : SplitLines(std::string(output.begin(), output.end()))) {
            std::string clean = line;
            clean.erase(std::remove(clean.begin(), clean.end(), '\n'), clean.end());
            if (const auto end = clean.find("] "); clean.rfind("[+", 0) == 0 && end != std::string::npos)
                run.events.push_back(clean.substr(end + 2));
        }
        output_ = output;
        return run;
    }

    std::vector<std::string> Trace(std::initializer_list<std::string> names = {}) const {
        std::vector<std::string> kept;
        for (const auto& line : SplitLines(ReadFileBytes(folder_ + L"\\trace.txt"))) {
            bool keep = names.size() == 0;
            for (const auto& name : names)
                keep = keep || line.rfind(name, 0) == 0;
            if (keep)
                kept.push_back(line);
        }
        return kept;
    }

    // Cell 0's log file bytes (there must be exactly one).
    std::string LogBytes() const {
        const auto files = FilesIn(folder_ + L"\\TextLog");
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? std::string() : ReadFileBytes(folder_ + L"\\TextLog\\" + files.front());
    }

    testing::ScratchFolder scratch_{L"e2e"};
    std::wstring folder_;
    std::string output_;
};

TEST_F(HarnessTest, PassingUpgradeEndToEnd) {
    MakeDemo();
    CreateDirectoryW((folder_ + L"\\MTK_Log").c_str(), nullptr);
    const std::string payload = Payload(700000);
    const HarnessRun run =
        Harness("chunk_kb=128", {L"path=" + Package(payload), L"verify", L"until=OnUpgradeStarted", L"close?",
                                 L"until=OnUpgradeSucceeded", L"close?", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(run.Hooks(),
                ElementsAre("OnVerifyPassed", "OnUpgradeBegin", "OnUpgradeStarted", "OnUpgradeSucceeded"));
    EXPECT_THAT(run.Progress(), ElementsAre(18, 37, 56, 74, 93));
    EXPECT_THAT(run.events, Contains("IsCloseAllowed 0"));
    EXPECT_EQ(ReadFileBytes(folder_ + L"\\phone0.bin"), payload);
    EXPECT_FALSE(FolderExists(folder_ + L"\\MTK_Log"));

    // The log file, byte for byte apart from the clock.
    const auto lines = SplitLines(LogBytes());
    const std::regex stamped("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]:[0-9]{3}\t(.*)");
    std::vector<std::string> texts;
    for (const auto& line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, stamped)) << line;
        texts.push_back(match[1]);
    }
    const std::string info = Cp936(L"提示:");
    std::vector<std::string> expected = {info + "HNDA:USendMsgInfo:0, 2, Verify: checking package, " +
                                             Cp936(folder_ + L"\\p.rzb"),
                                         info + "HNDA:USendMsgInfo:0, 3, Verify: 37%, ",
                                         info + "HNDA:USendMsgInfo:0, 3, Verify: 74%, ",
                                         info + "HNDA:USendMsgInfo:0, 3, Verify: 100%, ",
                                         info + "HNDA:UCheckdataStatus:0, 2, Verify data file OK!",
                                         info + "HNDA:UMonitorStatus:0, 1, COM10",
                                         info + "HNDA:USendMsgInfo:0, 2, Phone connected on COM10, 5512Q",
                                         info + "HNDA:UTestStatus:0, 0, 1"};
    for (int done : {131072, 262144, 393216, 524288, 655360, 700000})
        expected.push_back(info + "HNDA:UShowProgress:0, 700000, " + std::to_string(done));
    expected.push_back(info + "HNDA:USendMsgInfo:0, 2, Download complete, " +
                       Cp936(folder_ + L"\\phone0.bin"));
    expected.push_back(info + "HNDA:UTestStatus:0, 0, 2");
    expected.push_back(info + "HNDA:UMonitorStatus:0, 0, COM10");
    EXPECT_EQ(texts, expected);
}

TEST_F(HarnessTest, VerificationFailure) {
    MakeDemo();
    const HarnessRun run =
        Harness("verify=fail", {L"path=" + Package("abc"), L"verify", L"until=OnVerifyFailed", L"sleep=300"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(run.Hooks(), ElementsAre("OnVerifyFailed"));
    EXPECT_THAT(Trace({"DownloadRun"}), IsEmpty());
    EXPECT_THAT(LogBytes(),
                HasSubstr(Cp936(L"错误:HNDA:UCheckdataStatus:0, 3, verification refused by scenario\r\n")));
}

TEST_F(HarnessTest, DownloadFailureAtFortyPercent) {
    MakeDemo();
    const HarnessRun run =
        Harness("outcome=fail;fail_at=40;chunk_kb=10", {L"path=" + Package(Payload(100 * 1024)), L"verify",
                                                        L"until=OnUpgradeFailed", L"sleep=200", L"close?"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(run.Hooks(),
                ElementsAre("OnVerifyPassed", "OnUpgradeBegin", "OnUpgradeStarted", "OnUpgradeFailed"));
    EXPECT_THAT(run.Progress(), ElementsAre(10, 20, 30, 40));
    EXPECT_THAT(run.events, Contains("IsCloseAllowed 1"));
    EXPECT_THAT(Trace({"DownloadStop"}), Not(IsEmpty()));
    const std::string log = LogBytes();
    EXPECT_THAT(log,
                HasSubstr(Cp936(L"错误:HNDA:USendMsgInfo:0, 0, Download failed, write error at 40%\r\n")));
    EXPECT_THAT(log, HasSubstr(Cp936(L"错误:HNDA:UTestStatus:0, 3, 3\r\n")));
}

TEST_F(HarnessTest, PhoneUnpluggedMidDownload) {
    MakeDemo();
    const HarnessRun run =
        Harness("outcome=unplug;unplug_at=50;chunk_kb=10",
                {L"path=" + Package(Payload(100 * 1024)), L"verify", L"until=OnUpgradeFailed", L"close?"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(run.Hooks(),
                ElementsAre("OnVerifyPassed", "OnUpgradeBegin", "OnUpgradeStarted", "OnUpgradeFailed"));
    EXPECT_EQ(run.Progress().back(), 50);
    const std::string log = LogBytes();
    const auto unplugged = log.find(Cp936(L"提示:HNDA:UMonitorStatus:0, 0, COM10"));
    const auto failed = log.find(Cp936(L"错误:HNDA:UTestStatus:0, 5, 3"));
    ASSERT_NE(unplugged, std::string::npos);
    ASSERT_NE(failed, std::string::npos);
    EXPECT_LT(unplugged, failed);
}

TEST_F(HarnessTest, BackWhileWaitingForThePhone) {
    MakeDemo();
    const HarnessRun run =
        Harness("outcome=never", {L"path=" + Package("x"), L"verify", L"until=OnVerifyPassed", L"sleep=200",
                                  L"back", L"sleep=300", L"close?", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(run.Hooks(), ElementsAre("OnVerifyPassed"));
    EXPECT_THAT(Trace({"DownloadRun", "DownloadStop", "Release", "unloaded"}),
                ElementsAre("DownloadRun reserved=0", "DownloadStop", "DownloadRun returned stopped",
                            "DownloadStop", "ReleaseDownloadObj runs_alive=0", "unloaded"));
}

TEST_F(HarnessTest, ShutdownMidDownload) {
    MakeDemo();
    const HarnessRun run =
        Harness("speed_kbps=100;chunk_kb=4", {L"path=" + Package(Payload(1 << 20)), L"verify",
                                              L"until=OnProgress>=1", L"close?", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(run.events, Contains("IsCloseAllowed 0"));
    EXPECT_THAT(Trace({"DownloadRun returned", "DownloadStop", "Release", "unloaded"}),
                ElementsAre("DownloadStop", "DownloadRun returned stopped", "ReleaseDownloadObj runs_alive=0",
                            "unloaded"));
    EXPECT_LT(ReadFileBytes(folder_ + L"\\phone0.bin").size(), std::size_t{1} << 20);
}

// The engine is thrown away whole with its host: nothing more is asked of it.
TEST_F(HarnessTest, ShutdownEndsAHungEngine) {
    MakeDemo();
    const HarnessRun run =
        Harness("outcome=hang;hang_at=10;chunk_kb=8", {L"path=" + Package(Payload(200000)), L"verify",
                                                       L"until=OnProgress>=10", L"sleep=100", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(run.events, Contains("end"));
    EXPECT_THAT(Trace({"DownloadRun", "DownloadStop", "Release", "unloaded"}),
                ElementsAre("DownloadRun reserved=0", "DownloadRun hanging", "DownloadStop"));
}

TEST_F(HarnessTest, SeveralPhonesAtOnce) {
    MakeDemo();
    const std::string payload = Payload(200000);
    const HarnessRun run =
        Harness("cells=3;cell1.outcome=fail;cell1.fail_at=20;cell2.arrival_ms=300",
                {L"path=" + Package(payload), L"verify", L"until=OnUpgradeSucceeded", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    // Every phone's start tells the wizard; only cell 0's progress and outcome do.
    const auto hooks = run.Hooks();
    EXPECT_EQ(std::count(hooks.begin(), hooks.end(), "OnUpgradeBegin"), 3);
    EXPECT_THAT(hooks, Not(Contains("OnUpgradeFailed")));
    EXPECT_EQ(ReadFileBytes(folder_ + L"\\phone0.bin"), payload);
    EXPECT_EQ(ReadFileBytes(folder_ + L"\\phone2.bin"), payload);
    EXPECT_NE(ReadFileBytes(folder_ + L"\\phone1.bin"), payload);
}

TEST_F(HarnessTest, PathOverTheLimitIsRefusedAndNothingIsVerified) {
    MakeDemo();
    const HarnessRun run =
        Harness("", {L"path=" + Package("x"), L"path=C:\\" + std::wstring(260, L'a') + L".rzb", L"verify",
                     L"sleep=400", L"shutdown"});
    EXPECT_THAT(run.events, Contains("SetPackagePath accepted"));
    EXPECT_THAT(run.events, Contains("SetPackagePath refused"));
    EXPECT_THAT(run.Hooks(), IsEmpty());
    EXPECT_THAT(Trace({"Init", "Verify"}), IsEmpty());
}

TEST_F(HarnessTest, EngineWithoutInitStillVerifies) {
    MakeDemo(L"noinit", L"tarnvel_sim_engine_noinit.dll");
    const HarnessRun run = Harness("", {L"path=" + Package("x"), L"verify", L"sleep=500", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(Trace({"Init", "Verify"}), ElementsAre("VerifyDataofRZB uninitialised"));
    EXPECT_THAT(run.Hooks(), IsEmpty());
}

TEST_F(HarnessTest, FailedInitAsksForNoVerification) {
    MakeDemo();
    const HarnessRun run =
        Harness("init_result=0", {L"path=" + Package("x"), L"verify", L"sleep=500", L"shutdown"});
    EXPECT_THAT(Trace({"Init", "Verify"}), ElementsAre(HasSubstr("InitDownloadObj path=")));
    EXPECT_THAT(run.Hooks(), IsEmpty());
}

TEST_F(HarnessTest, EngineWithoutRunPassesVerificationAndStops) {
    MakeDemo(L"norun", L"tarnvel_sim_engine_norun.dll");
    const HarnessRun run =
        Harness("", {L"path=" + Package("x"), L"verify", L"until=OnVerifyPassed", L"sleep=300", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(run.Hooks(), ElementsAre("OnVerifyPassed"));
    EXPECT_THAT(Trace({"DownloadRun", "Release", "unloaded"}),
                ElementsAre("ReleaseDownloadObj runs_alive=0", "unloaded"));
}

TEST_F(HarnessTest, EngineWithoutStopIsThrownAwayWithItsRun) {
    MakeDemo(L"nostop", L"tarnvel_sim_engine_nostop.dll");
    const HarnessRun run =
        Harness("outcome=never", {L"path=" + Package("x"), L"verify", L"until=OnVerifyPassed", L"sleep=200",
                                  L"back", L"sleep=200", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(run.events, Contains("end"));
    // Nothing can stop the run, so the engine is thrown away whole, neither released nor unloaded.
    EXPECT_THAT(Trace({"DownloadRun", "Release", "unloaded"}), ElementsAre("DownloadRun reserved=0"));
}

TEST_F(HarnessTest, EngineWithoutReleaseIsStillUnloaded) {
    MakeDemo(L"norelease", L"tarnvel_sim_engine_norelease.dll");
    const HarnessRun run =
        Harness("", {L"path=" + Package("x"), L"verify", L"until=OnUpgradeSucceeded", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(Trace({"Release", "unloaded"}), ElementsAre("unloaded"));
}

TEST_F(HarnessTest, MissingEngineStartsNothing) {
    MakeDemo();
    DeleteFileW((folder_ + L"\\dVarnok.dll").c_str());
    const HarnessRun run =
        Harness("", {L"path=" + Package("x"), L"verify", L"sleep=300", L"close?", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(run.Hooks(), IsEmpty());
    EXPECT_THAT(run.events, Contains("IsCloseAllowed 1"));
    EXPECT_FALSE(FolderExists(folder_ + L"\\TextLog\\x"));
}

TEST_F(HarnessTest, FolderWithShellCharactersKeepsItsLogsAndLosesOnlyMtkLog) {
    // cmd would split or expand a bare path like this one.
    MakeDemo(L"升级 & ^ %PATH% (1) !x!");
    const std::wstring parent = folder_;
    CreateDirectoryW((folder_ + L"\\MTK_Log").c_str(), nullptr);
    CreateDirectoryW((folder_ + L"\\MTK_Log\\deep").c_str(), nullptr);
    CreateDirectoryW((folder_ + L"\\keep").c_str(), nullptr);
    const HarnessRun run =
        Harness("", {L"path=" + Package("x"), L"verify", L"until=OnUpgradeSucceeded", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    for (int i = 0; i < 200 && FolderExists(folder_ + L"\\MTK_Log"); ++i)
        Sleep(50);
    EXPECT_FALSE(FolderExists(folder_ + L"\\MTK_Log"));
    EXPECT_TRUE(FolderExists(folder_ + L"\\keep"));
    EXPECT_THAT(LogBytes(), HasSubstr(Cp936(L"提示:HNDA:UTestStatus:0, 0, 2\r\n")));
}

TEST_F(HarnessTest, FolderOutsideTheCodePageStillLogsButRunsNoBatchFile) {
    MakeDemo(L"ทดสอบ");
    CreateDirectoryW((folder_ + L"\\MTK_Log").c_str(), nullptr);
    const HarnessRun run =
        Harness("", {L"path=" + Package("x"), L"verify", L"until=OnUpgradeSucceeded", L"shutdown"});
    EXPECT_EQ(run.exitCode, 0) << output_;
    EXPECT_THAT(LogBytes(), HasSubstr(Cp936(L"提示:HNDA:UTestStatus:0, 0, 2\r\n")));
    // cmd could not be told this folder's name: the batch file is not even written.
    EXPECT_FALSE(FileExists(folder_ + L"\\DeleteTree.bat"));
    EXPECT_TRUE(FolderExists(folder_ + L"\\MTK_Log"));
}

TEST(RzbpackTool, WritesEveryFormatThatTheProgramsReaderReads) {
    testing::ScratchFolder folder{L"rzbpack"};
    const std::wstring tool = L"\"" + kBin + L"\\rzbpack.exe\" ";
    struct Case {
        const wchar_t* format;
        int version;
    };
    for (const Case c : {Case{L"13 --old-magic", 13}, Case{L"13", 13}, Case{L"14", 14}, Case{L"15", 15},
                         Case{L"16", 16}, Case{L"17", 17}, Case{L"18", 18}}) {
        SCOPED_TRACE(Utf8FromWide(c.format));
        const std::wstring package = folder / L"p.rzb";
        const ProcessResult made =
            RunProcess(tool + L"make \"" + package + L"\" --format " + c.format +
                           L" --model 5512QDS --version \"V2.0 升级\" --payload-size 5000",
                       folder.Path());
        EXPECT_EQ(made.exitCode, 0) << made.output;
        std::wstring model, version;
        EXPECT_TRUE(ReadPackageModel(package, model));
        EXPECT_TRUE(ReadPackageVersion(package, version));
        EXPECT_EQ(model, L"5512QDS");
        EXPECT_EQ(version, L"V2.0 升级");
        const std::string magic = ReadFileBytes(package).substr(0, 4);
        EXPECT_EQ(magic == "HSRZ", std::wstring(c.format).find(L"old") != std::wstring::npos);
        ProcessResult shown = RunProcess(tool + L"show \"" + package + L"\"", folder.Path());
        std::erase(shown.output, '\r');
        EXPECT_EQ(shown.exitCode, 0);
        EXPECT_THAT(shown.output, HasSubstr("format: " + std::to_string(c.version) +
                                            "\nmodel: 5512QDS\nversion: " + Utf8FromWide(L"V2.0 升级") +
                                            "\npayload: 5000 bytes"));
    }
    const ProcessResult tooLong =
        RunProcess(tool + L"make x.rzb --format 17 --model 12345678901234567 --version v --payload-size 1",
                   folder.Path());
    EXPECT_EQ(tooLong.exitCode, 2);
    EXPECT_THAT(tooLong.output, HasSubstr("model name too long for format 17 (at most 16 bytes)"));
    EXPECT_TRUE(testing::WriteFileBytes(folder / L"foreign.bin", std::string(100, 'x')));
    const ProcessResult foreign = RunProcess(tool + L"show foreign.bin", folder.Path());
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_THAT(foreign.output, HasSubstr("not an RZB package"));
}

TEST(SimulatedEngineParts, ScenarioAndChecksums) {
    const std::uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(sim::Crc32(0, check), 0xCBF43926u);
    EXPECT_EQ(sim::Crc32(sim::Crc32(0, std::span(check).first(4)), std::span(check).subspan(4)), 0xCBF43926u);
    std::vector<std::string> errors;
    const sim::Scenario scenario =
        sim::ParseScenario("# demo\noutcome=unplug\n unplug_at = 70 "
                           "\ncells=2\ncell1.outcome=hang\nstorage=C:\\a;b.bin\nbogus=1\n",
                           false, &errors);
    EXPECT_EQ(scenario.cell[0].outcome, sim::Outcome::Unplug);
    EXPECT_EQ(scenario.cell[1].outcome, sim::Outcome::Hang);
    EXPECT_EQ(scenario.cell[1].unplugAt, 70);
    EXPECT_EQ(scenario.cells, 2);
    EXPECT_EQ(scenario.cell[0].storage, "C:\\a;b.bin"); // in a file only new lines separate
    EXPECT_EQ(scenario.cell[1].storage, "");
    EXPECT_THAT(errors, ElementsAre("bogus=1"));
    EXPECT_EQ(sim::ParseScenario("verify=fail;speed_kbps=5", true).cell[3].speedKbps, 5);
}

} // namespace
} // namespace tarnvel
