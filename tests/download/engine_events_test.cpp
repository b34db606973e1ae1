// The engine's callbacks, called directly as an engine would, against a controller whose cell 0
// log is open (its verification was started with an engine that refuses to initialise).
#include "download/engine_events.h"

#include "engine_records.h"
#include "support/sim_fixture.h"

#include <gmock/gmock.h>

#include <climits>
#include <thread>

namespace tarnvel {
namespace {

using namespace std::chrono_literals;

using testing::Cp936;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class EngineEventsTest : public testing::SimFixture {
protected:
    void SetUp() override {
        SetScenario("init_result=0");
        StartController();
        ASSERT_TRUE(controller_->SetPackagePath(L"C:\\none.rzb"));
        controller_->PostCommand(Command::Verify);
        for (int i = 0; i < 500 && LogFiles().empty(); ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_EQ(LogFiles().size(), 1u);
        ASSERT_TRUE(WaitForTrace(
            "InitDownloadObj path=C:\\none.rzb model= extra= settings=2,3,1,0 switches=1111111", 5s));
    }

    // Ends the controller (which writes the log out) and gives cell 0's lines.
    std::vector<std::string> FinalLines() {
        ShutdownController();
        return LogLines();
    }

    static MsgInfoRecord Msg(int cell, int type, std::wstring_view text, std::wstring_view detail) {
        return sim::MsgInfo(cell, type, text, detail);
    }
    static MonitorStatusRecord Monitor(int cell, int status, std::wstring_view text) {
        return sim::StatusRecord<MonitorStatusRecord>(cell, status, text);
    }
    static CheckdataStatusRecord Checkdata(int cell, int status, std::wstring_view text) {
        return sim::StatusRecord<CheckdataStatusRecord>(cell, status, text);
    }
};

TEST_F(EngineEventsTest, ProgressReachesTheWizardOnlyFromCellZeroBetweenZeroAnd98) {
    UShowProgress(0, 0, 17);
    UShowProgress(0, 200, 199);
    UShowProgress(0, 100, 98);
    UShowProgress(0, 100, -5);
    UShowProgress(1, 100, 50);
    UShowProgress(0, 100, INT_MAX); // overflows 32 bits when multiplied by 100
    UShowProgress(0, -100, INT_MIN);
    UShowProgress(0, -100, -50);
    UShowProgress(0, 3, 1);
    EXPECT_THAT(recorder_.Progress(), ElementsAre(0, 98, 50, 33));
    EXPECT_THAT(FinalLines(), ElementsAre(Cp936(L"提示:HNDA:UShowProgress:0, 0, 17"),
                                          Cp936(L"提示:HNDA:UShowProgress:0, 200, 199"),
                                          Cp936(L"提示:HNDA:UShowProgress:0, 100, 98"),
                                          Cp936(L"提示:HNDA:UShowProgress:0, 100, -5"),
                                          Cp936(L"提示:HNDA:UShowProgress:0, 100, 2147483647"),
                                          Cp936(L"提示:HNDA:UShowProgress:0, -100, -2147483648"),
                                          Cp936(L"提示:HNDA:UShowProgress:0, -100, -50"),
                                          Cp936(L"提示:HNDA:UShowProgress:0, 3, 1")));
}

TEST_F(EngineEventsTest, StartedDownloadBeginsOnAnyCellButStartsOnlyOnCellZero) {
    UTestStatus(3, 0, 1);
    EXPECT_THAT(recorder_.Names(), ElementsAre("OnUpgradeBegin"));
    UTestStatus(0, 7, 1);
    EXPECT_THAT(recorder_.Names(), ElementsAre("OnUpgradeBegin", "OnUpgradeBegin", "OnUpgradeStarted"));
    UTestStatus(0, 0, 4);
    UTestStatus(0, 0, 9);
    UTestStatus(0, 0, -1);
    EXPECT_EQ(recorder_.Names().size(), 3u);
    EXPECT_THAT(FinalLines(),
                ElementsAre(Cp936(L"提示:HNDA:UTestStatus:0, 7, 1"), Cp936(L"提示:HNDA:UTestStatus:0, 0, 4"),
                            // status 9 and -1 are raw: no stamp, no line end
                            Cp936(L"HNDA:UTestStatus:0, 0, 9HNDA:UTestStatus:0, 0, -1")));
}

TEST_F(EngineEventsTest, SuccessFinishesTwoSecondsAfterItsLine) {
    UMonitorStatus(Monitor(0, 1, L"COM3"));
    EXPECT_FALSE(controller_->IsCloseAllowed());
    const auto before = std::chrono::steady_clock::now();
    UTestStatus(0, 0, 2); // the engine host holds the engine's thread; this one is free at once
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    ASSERT_TRUE(recorder_.WaitFor("OnUpgradeSucceeded", 4s));
    EXPECT_GE(recorder_.Calls().back().when - before, 1950ms); // timers may fire a tick early
    EXPECT_TRUE(WaitForTrace("DownloadStop", 2s));             // the finish stops the engine
    EXPECT_TRUE(WaitForCloseAllowed(1s));
    UShowProgress(0, 100, 5); // the log is closed now
    EXPECT_THAT(FinalLines(), ElementsAre(Cp936(L"提示:HNDA:UMonitorStatus:0, 1, COM3"),
                                          Cp936(L"提示:HNDA:UTestStatus:0, 0, 2")));
}

TEST_F(EngineEventsTest, FailureOnCellZeroStopsClosesTheLogAndAllowsClosing) {
    UMonitorStatus(Monitor(0, 1, L"COM3"));
    EXPECT_FALSE(controller_->IsCloseAllowed());
    UTestStatus(0, 12, 3);
    EXPECT_THAT(recorder_.Names(), ElementsAre("OnUpgradeFailed"));
    EXPECT_TRUE(controller_->IsCloseAllowed());
    EXPECT_TRUE(WaitForTrace("DownloadStop", 2s));
    UShowProgress(0, 100, 5);
    std::this_thread::sleep_for(2500ms);
    EXPECT_EQ(recorder_.Count("OnUpgradeSucceeded"), 0);
    EXPECT_THAT(FinalLines(), ElementsAre(Cp936(L"提示:HNDA:UMonitorStatus:0, 1, COM3"),
                                          Cp936(L"错误:HNDA:UTestStatus:0, 12, 3")));
}

TEST_F(EngineEventsTest, FailureOnAnotherCellOnlyLogs) {
    UTestStatus(2, 0, 3);
    UTestStatus(0, 0, 0);
    EXPECT_THAT(recorder_.Names(), IsEmpty());
    EXPECT_THAT(FinalLines(), ElementsAre(Cp936(L"HNDA:UTestStatus:0, 0, 0")));
}

TEST_F(EngineEventsTest, CheckdataGoesToCellZerosLogAndOnlyCellZeroPasses) {
    UCheckdataStatus(Checkdata(5, 2, L"ignored"));
    UCheckdataStatus(Checkdata(5, 3, L"bad crc"));
    UCheckdataStatus(Checkdata(0, 1, L"checking"));
    UCheckdataStatus(Checkdata(0, 0, L"zero"));
    UCheckdataStatus(Checkdata(0, -2, L"odd"));
    std::this_thread::sleep_for(100ms);
    EXPECT_THAT(recorder_.Names(), ElementsAre("OnVerifyFailed"));
    UCheckdataStatus(Checkdata(0, 2, L"ignored too"));
    EXPECT_TRUE(recorder_.WaitFor("OnVerifyPassed", 2s));
    EXPECT_THAT(FinalLines(),
                ElementsAre(Cp936(L"提示:HNDA:UCheckdataStatus:5, 2, Verify data file OK!"),
                            Cp936(L"错误:HNDA:UCheckdataStatus:5, 3, bad crc"),
                            Cp936(L"提示:HNDA:UCheckdataStatus:0, 1, checking"),
                            Cp936(L"提示:HNDA:UCheckdataStatus:0, 0, zero"),
                            Cp936(L"HNDA:UCheckdataStatus:0, -2, odd提示:HNDA:UCheckdataStatus:0, 2, "
                                  L"Verify data file OK!")));
}

TEST_F(EngineEventsTest, MessageTypesGradeTheLine) {
    USendMsgInfo(Msg(0, 0, L"e", L"d"));
    USendMsgInfo(Msg(0, 1, L"w", L""));
    USendMsgInfo(Msg(0, 2, L"i2", L"x"));
    USendMsgInfo(Msg(0, 3, L"i3", L"手机"));
    USendMsgInfo(Msg(0, 7, L"seven", L""));
    USendMsgInfo(Msg(0, -1, L"minus", L""));
    USendMsgInfo(Msg(3, 0, L"other cell", L""));
    EXPECT_THAT(recorder_.Names(), IsEmpty());
    EXPECT_THAT(FinalLines(),
                ElementsAre(Cp936(L"错误:HNDA:USendMsgInfo:0, 0, e, d"),
                            Cp936(L"警告:HNDA:USendMsgInfo:0, 1, w, "),
                            Cp936(L"提示:HNDA:USendMsgInfo:0, 2, i2, x"),
                            Cp936(L"提示:HNDA:USendMsgInfo:0, 3, i3, 手机"),
                            Cp936(L"HNDA:USendMsgInfo:0, 7, seven, HNDA:USendMsgInfo:0, -1, minus, ")));
}

TEST_F(EngineEventsTest, MonitorStatusOfCellZeroDecidesWhetherClosingIsAllowed) {
    EXPECT_TRUE(controller_->IsCloseAllowed());
    UMonitorStatus(Monitor(0, 1, L""));
    EXPECT_FALSE(controller_->IsCloseAllowed());
    UMonitorStatus(Monitor(1, 0, L""));
    EXPECT_FALSE(controller_->IsCloseAllowed());
    UMonitorStatus(Monitor(0, 2, L""));
    EXPECT_TRUE(controller_->IsCloseAllowed());
    UMonitorStatus(Monitor(0, 1, L""));
    UMonitorStatus(Monitor(0, 0, L"idle"));
    EXPECT_TRUE(controller_->IsCloseAllowed());
    EXPECT_THAT(recorder_.Names(), IsEmpty());
}

TEST_F(EngineEventsTest, TextsFillingTheirFieldsAreReadToTheirCapacityOnly) {
    MsgInfoRecord msg{};
    msg.msgType = 2;
    std::fill(std::begin(msg.text), std::end(msg.text), L'T');
    std::fill(std::begin(msg.detail), std::end(msg.detail), L'D');
    USendMsgInfo(msg);
    MonitorStatusRecord monitor{};
    std::fill(std::begin(monitor.text), std::end(monitor.text), L'M');
    monitor.status = 7; // right after the text: must not be read as characters
    UMonitorStatus(monitor);
    CheckdataStatusRecord check{};
    check.status = 1;
    std::fill(std::begin(check.text), std::end(check.text), L'C');
    UCheckdataStatus(check);
    EXPECT_THAT(FinalLines(),
                ElementsAre(Cp936(L"提示:") + "HNDA:USendMsgInfo:0, 2, " + std::string(256, 'T') + ", " +
                                std::string(1024, 'D'),
                            Cp936(L"提示:") + "HNDA:UMonitorStatus:0, 7, " + std::string(64, 'M'),
                            Cp936(L"提示:") + "HNDA:UCheckdataStatus:0, 1, " + std::string(1024, 'C')));
}

TEST_F(EngineEventsTest, CallbacksAfterShutdownDoNothing) {
    ShutdownController();
    UShowProgress(0, 100, 5);
    UTestStatus(0, 0, 3);
    UCheckdataStatus(Checkdata(0, 3, L""));
    UMonitorStatus(Monitor(0, 1, L""));
    EXPECT_THAT(recorder_.Names(), IsEmpty());
    EXPECT_THAT(recorder_.Progress(), IsEmpty());
}

} // namespace
} // namespace tarnvel
