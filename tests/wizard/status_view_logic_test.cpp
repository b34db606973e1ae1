#include "wizard/status_view_logic.h"

#include "resources/picture_ids.h"
#include "wizard/wizard_ids.h"
#include "wizard/wizard_texts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tarnvel {
namespace {

// The view's controls as the logic leaves them, and its timers.
class FakeView final : public StatusViewPort {
public:
    struct Control {
        std::wstring text;
        std::uint32_t colour = colours::kBlack;
        bool visible = true;
        int bar = 0;
        int picture = 0;
    };
    std::map<int, Control> controls;
    std::map<unsigned, unsigned> timers; // id -> period of the running timer
    int timerStarts = 0;

    void SetText(int id, std::wstring_view text) override { controls[id].text = text; }
    void SetColour(int id, std::uint32_t colour) override { controls[id].colour = colour; }
    void Show(int id, bool visible) override { controls[id].visible = visible; }
    void SetBar(int id, int percent) override { controls[id].bar = percent; }
    void SetPicture(int id, int picture) override { controls[id].picture = picture; }
    void StartTimer(unsigned id, unsigned periodMs) override {
        timers[id] = periodMs;
        ++timerStarts;
    }
    void StopTimer(unsigned id) override { timers.erase(id); }
    void WatchUsbDevices(bool on) override {
        watchingUsb = on;
        ++watchChanges;
    }
    std::optional<std::uint32_t> UsbDeviceProblem(std::wstring_view instanceId) override {
        const auto found = problems.find(std::wstring(instanceId));
        return found == problems.end() ? std::nullopt : std::optional<std::uint32_t>(found->second);
    }

    bool watchingUsb = false;
    int watchChanges = 0;
    std::map<std::wstring, std::uint32_t> problems; // the device tree: instance id -> problem code

    bool Running(unsigned id) const { return timers.count(id) != 0; }
    const std::wstring& Text(int id) { return controls[id].text; }
    bool Visible(int id) { return controls[id].visible; }
};

class StatusViewLogicTest : public ::testing::Test {
protected:
    FakeView view;
    StatusViewLogic logic{view};

    // Each way the wait for the phone ends: the phone came, the run failed, Back, a new verification.
    std::vector<std::function<void()>> WaysOutOfTheWait() {
        return {[this] { logic.ShowUpgrading(); }, [this] { logic.ShowUpgradeFailed(); },
                [this] { logic.StopWaitingForPhone(); },
                [this] {
                    logic.ShowPreparing();
                }};
    }

    // Lets the verification timer fire until it stops; the simulated time that took.
    double RunVerificationClock(int maxTicks = 1000) {
        double seconds = 0;
        for (int i = 0; i < maxTicks && view.Running(timers::kVerifyProgress); ++i) {
            seconds += view.timers[timers::kVerifyProgress] / 1000.0;
            logic.OnTimer(timers::kVerifyProgress);
        }
        return seconds;
    }
};

TEST_F(StatusViewLogicTest, PreparingResetsBothLinesAndStartsTheTimers) {
    view.controls[ids::kConnectLink].visible = true;
    logic.ShowPreparing();
    EXPECT_EQ(view.Text(ids::kPrepareLine), L"正在准备数据...");
    EXPECT_EQ(view.Text(ids::kPreparePercent), L"0%");
    EXPECT_EQ(view.controls[ids::kPrepareBar].bar, 0);
    EXPECT_TRUE(view.Visible(ids::kPatienceHint));
    EXPECT_FALSE(view.Visible(ids::kConnectLink));
    EXPECT_FALSE(view.Visible(ids::kKeepConnectedHint));
    EXPECT_EQ(view.timers[timers::kVerifyProgress], 1500u);
    EXPECT_EQ(view.timers[timers::kPrepareSpinner], 150u);
    EXPECT_EQ(view.Text(ids::kUpgradeLine), L"等待数据校验...");
    EXPECT_EQ(view.Text(ids::kUpgradePercent), L"0%");
    EXPECT_EQ(view.controls[ids::kUpgradeHeading].colour, ColourOf(0xC45033));
    EXPECT_EQ(view.controls[ids::kUpgradeLine].colour, ColourOf(0x646464));
    EXPECT_EQ(view.controls[ids::kUpgradePercent].colour, ColourOf(0x646464));
}

TEST_F(StatusViewLogicTest, VerificationThatNeverReportsHaltsAt98AfterTheFullPacing) {
    logic.ShowPreparing();
    EXPECT_DOUBLE_EQ(RunVerificationClock(), 135.5);
    EXPECT_EQ(logic.Percent(), 98);
    EXPECT_EQ(view.Text(ids::kPreparePercent), L"98%");
    EXPECT_EQ(view.controls[ids::kPrepareBar].bar, 98);
    EXPECT_TRUE(view.Running(timers::kPrepareSpinner)); // the spinner keeps turning
}

TEST_F(StatusViewLogicTest, VerificationPacingTable) {
    struct Case {
        int before;
        VerifyTick::Timer timer;
        unsigned period;
        int after;
    };
    const Case cases[] = {
        {0, VerifyTick::Timer::Keep, 0, 1},          {9, VerifyTick::Timer::Keep, 0, 10},
        {10, VerifyTick::Timer::Restart, 500, 11},   {49, VerifyTick::Timer::Restart, 500, 50},
        {50, VerifyTick::Timer::Restart, 2000, 51},  {56, VerifyTick::Timer::Restart, 2000, 57},
        {57, VerifyTick::Timer::Restart, 1000, 58},  {91, VerifyTick::Timer::Restart, 1000, 92},
        {92, VerifyTick::Timer::Restart, 10000, 93}, {96, VerifyTick::Timer::Restart, 10000, 97},
        {97, VerifyTick::Timer::Stop, 0, 98},        {99, VerifyTick::Timer::Stop, 0, 100},
        {100, VerifyTick::Timer::Stop, 0, 100},      {500, VerifyTick::Timer::Stop, 0, 100},
    };
    for (const Case& c : cases) {
        const VerifyTick tick = NextVerifyTick(c.before);
        EXPECT_EQ(tick.percent, c.after) << c.before;
        EXPECT_EQ(tick.timer, c.timer) << c.before;
        if (c.timer == VerifyTick::Timer::Restart) {
            EXPECT_EQ(tick.periodMs, c.period) << c.before;
        }
    }
}

TEST_F(StatusViewLogicTest, EarlyVerificationJumpsTo100AndAsksForThePhone) {
    logic.ShowPreparing();
    for (int i = 0; i < 40 && view.Running(timers::kVerifyProgress); ++i)
        logic.OnTimer(timers::kVerifyProgress);
    EXPECT_EQ(view.Text(ids::kPreparePercent), L"40%");
    logic.ShowVerifyPassed();
    EXPECT_EQ(view.Text(ids::kPreparePercent), L"100%");
    EXPECT_EQ(view.controls[ids::kPrepareBar].bar, 100);
    EXPECT_EQ(view.Text(ids::kPrepareLine), L"数据准备完毕");
    EXPECT_EQ(view.Text(ids::kUpgradeLine), L"请连接手机...");
    EXPECT_EQ(view.controls[ids::kUpgradeLine].colour, colours::kBlack);
    EXPECT_FALSE(view.Running(timers::kVerifyProgress));
    EXPECT_FALSE(view.Running(timers::kPrepareSpinner));
    EXPECT_FALSE(view.Visible(ids::kPatienceHint));
    EXPECT_FALSE(view.Visible(ids::kKeepConnectedHint));
}

TEST_F(StatusViewLogicTest, SpinnersCycleAndContinueAfterARestart) {
    logic.ShowPreparing();
    const wchar_t* const expected[] = {L"正在准备数据.../", L"正在准备数据...-", L"正在准备数据...\\",
                                       L"正在准备数据...|", L"正在准备数据.../"};
    for (const wchar_t* text : expected) {
        logic.OnTimer(timers::kPrepareSpinner);
        EXPECT_EQ(view.Text(ids::kPrepareLine), text);
    }
    // A second preparation restarts the timers and the percentage, and the spinner goes on with the
    // frame after the last one shown.
    logic.OnTimer(timers::kVerifyProgress);
    logic.ShowPreparing();
    EXPECT_EQ(logic.Percent(), 0);
    EXPECT_EQ(view.timers[timers::kVerifyProgress], 1500u);
    logic.OnTimer(timers::kPrepareSpinner);
    EXPECT_EQ(view.Text(ids::kPrepareLine), L"正在准备数据...-");

    // The upgrade spinner has a counter of its own.
    logic.ShowUpgrading();
    EXPECT_EQ(view.Text(ids::kUpgradeLine), L"正在升级.../");
    logic.OnTimer(timers::kUpgradeSpinner);
    EXPECT_EQ(view.Text(ids::kUpgradeLine), L"正在升级.../");
    logic.OnTimer(timers::kUpgradeSpinner);
    EXPECT_EQ(view.Text(ids::kUpgradeLine), L"正在升级...-");
}

TEST_F(StatusViewLogicTest, UpgradeStartedLineHasNoSpinnerCharacterUntilTheNextTick) {
    logic.ShowUpgrading();
    logic.ShowUpgradeStarted();
    EXPECT_EQ(view.Text(ids::kUpgradeLine), L"正在升级...");
    logic.OnTimer(timers::kUpgradeSpinner);
    EXPECT_EQ(view.Text(ids::kUpgradeLine), L"正在升级.../");
}

TEST_F(StatusViewLogicTest, SecondCellStartingResetsTheUpgradeLineAndKeepsOneSpinner) {
    logic.ShowVerifyPassed();
    logic.ShowUpgrading();
    logic.SetDownloadPercent(42);
    EXPECT_EQ(view.Text(ids::kUpgradePercent), L"42%");
    EXPECT_EQ(view.controls[ids::kUpgradeBar].bar, 42);
    logic.ShowUpgrading();
    EXPECT_EQ(view.Text(ids::kUpgradePercent), L"0%");
    EXPECT_EQ(view.controls[ids::kUpgradeBar].bar, 0);
    EXPECT_EQ(view.timers.size(), 1u);
    EXPECT_TRUE(view.Running(timers::kUpgradeSpinner));
    EXPECT_TRUE(view.Visible(ids::kKeepConnectedHint));
    EXPECT_FALSE(view.Visible(ids::kConnectLink));
}

TEST_F(StatusViewLogicTest, OutcomesOnTheResultPage) {
    auto helpVisible = [this](bool visible) {
        for (int id = ids::kHelpFirst; id <= ids::kHelpLast; ++id)
            EXPECT_EQ(view.Visible(id), visible) << id;
    };

    logic.ShowUpgrading();
    logic.ShowUpgradeFailed();
    EXPECT_EQ(view.Text(ids::kResultHeading), L"手机升级失败！");
    EXPECT_EQ(view.controls[ids::kResultImage].picture, kPictureFailureFace);
    EXPECT_EQ(view.controls[ids::kResultHeading].colour, colours::kRed);
    EXPECT_FALSE(view.Visible(ids::kRomVersion));
    EXPECT_FALSE(view.Running(timers::kUpgradeSpinner));
    helpVisible(true);

    logic.ShowUpgrading();
    logic.SetDownloadPercent(100);
    logic.ShowUpgradeSucceeded();
    EXPECT_EQ(view.Text(ids::kResultHeading), L"恭喜您，您的手机已升级完成！");
    EXPECT_EQ(view.controls[ids::kResultImage].picture, kPictureSuccessFace);
    EXPECT_EQ(view.controls[ids::kResultHeading].colour, colours::kBlack);
    EXPECT_FALSE(view.Visible(ids::kRomVersion));
    helpVisible(false);

    logic.ShowPreparing();
    logic.ShowVerifyFailed();
    EXPECT_EQ(view.Text(ids::kResultHeading), L"校验ROM失败！");
    EXPECT_EQ(view.controls[ids::kResultImage].picture, kPictureFailureFace);
    EXPECT_EQ(view.controls[ids::kResultHeading].colour, colours::kRed);
    EXPECT_TRUE(view.timers.empty());
    helpVisible(true);
}

TEST_F(StatusViewLogicTest, TimeLeftShowsWhileThePhoneIsWrittenAndHidesAtTheResult) {
    logic.ShowUpgrading();
    EXPECT_FALSE(view.Visible(ids::kTimeLeft));
    logic.SetDownloadPercent(0, 1'000);
    logic.SetDownloadPercent(10, 11'000);
    EXPECT_TRUE(view.Visible(ids::kTimeLeft));
    EXPECT_EQ(view.Text(ids::kTimeLeft), L"剩余约 1 分 30 秒");
    logic.ShowUpgradeSucceeded();
    EXPECT_FALSE(view.Visible(ids::kTimeLeft));
}

TEST_F(StatusViewLogicTest, ConnectLinkIsNeverShown) {
    logic.ShowPreparing();
    logic.ShowVerifyPassed();
    logic.ShowUpgrading();
    logic.ShowUpgradeFailed();
    EXPECT_FALSE(view.Visible(ids::kConnectLink));
}

TEST_F(StatusViewLogicTest, RomVersionLineIsRebuiltForEachChoice) {
    logic.ShowRomVersion(L"V1.0");
    EXPECT_EQ(view.Text(ids::kRomVersion), L"ROM版本号：V1.0");
    logic.ShowRomVersion(L"");
    EXPECT_EQ(view.Text(ids::kRomVersion), L"ROM版本号：");
}

TEST_F(StatusViewLogicTest, PathNoticeReplacesTheHintUntilCleared) {
    logic.ClearPathNotice(); // nothing to clear: the hint is left as it is
    EXPECT_TRUE(view.controls.empty());
    logic.ShowPathTooLong();
    EXPECT_EQ(view.Text(ids::kVerifyHint), texts::kPathTooLong);
    EXPECT_EQ(view.controls[ids::kVerifyHint].colour, colours::kRed);
    logic.ClearPathNotice();
    EXPECT_EQ(view.Text(ids::kVerifyHint), L"选择完ROM包之后，需要对升级包进行校验");
    EXPECT_EQ(view.controls[ids::kVerifyHint].colour, colours::kBlack);
}

// The hints come once, after 30 s of waiting for the phone, and go when the phone is reported, the
// run ends, the user goes back, or a new verification starts.
TEST_F(StatusViewLogicTest, HintsForAPhoneNotFoundComeAfterThirtySecondsOfWaitingAndGo) {
    auto hintsShown = [this] {
        bool all = view.Visible(ids::kNoPhoneHeading);
        for (int id = ids::kNoPhoneHintFirst; id <= ids::kNoPhoneHintLast; ++id)
            all = all && view.Visible(id);
        return all;
    };
    auto hintsHidden = [this] {
        bool none = !view.Visible(ids::kNoPhoneHeading);
        for (int id = ids::kNoPhoneHintFirst; id <= ids::kNoPhoneHintLast; ++id)
            none = none && !view.Visible(id);
        return none;
    };
    for (const auto& leave : WaysOutOfTheWait()) {
        logic.ShowPreparing();
        EXPECT_TRUE(hintsHidden());
        EXPECT_FALSE(view.Running(timers::kNoPhoneHints));
        logic.ShowVerifyPassed();
        ASSERT_TRUE(view.Running(timers::kNoPhoneHints));
        EXPECT_EQ(view.timers[timers::kNoPhoneHints], 30000u);
        EXPECT_TRUE(hintsHidden());
        logic.OnTimer(timers::kNoPhoneHints);
        EXPECT_TRUE(hintsShown());
        EXPECT_FALSE(view.Running(timers::kNoPhoneHints)); // once
        leave();
        EXPECT_TRUE(hintsHidden());
    }
    // Reported before the wait is over: the hints never come.
    logic.ShowPreparing();
    logic.ShowVerifyPassed();
    logic.ShowUpgrading();
    EXPECT_FALSE(view.Running(timers::kNoPhoneHints));
    EXPECT_TRUE(hintsHidden());
}

// What Windows sees on USB while the wizard waits for a phone.
class UsbWatchTest : public StatusViewLogicTest {
protected:
    UsbWatchTest() {
        logic.SetLogLine([this](const std::wstring& line) { lines.push_back(line); });
    }

    static std::wstring PathOf(std::wstring_view id) {
        std::wstring path = L"\\\\?\\";
        for (const wchar_t c : id)
            path.push_back(c == L'\\' ? L'#' : c);
        return path + L"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    }
    void Arrive(std::wstring_view id) { logic.OnUsbDeviceChange(true, PathOf(id)); }
    void Remove(std::wstring_view id) { logic.OnUsbDeviceChange(false, PathOf(id)); }
    void Settle() {
        ASSERT_TRUE(view.Running(timers::kUsbSettle));
        EXPECT_EQ(view.timers[timers::kUsbSettle], 500u);
        logic.OnTimer(timers::kUsbSettle);
    }
    void Wait() {
        logic.ShowPreparing();
        logic.ShowVerifyPassed();
    }
    const std::wstring& ThirdHint() { return view.Text(ids::kNoPhoneHintLast); }

    std::vector<std::wstring> lines;
    static constexpr wchar_t kPhone[] = L"USB\\VID_0E8D&PID_2000\\5&1A2B3C&0&2";
    static constexpr wchar_t kMouse[] = L"USB\\VID_046D&PID_C077\\6&2F&0&1";
};

TEST_F(UsbWatchTest, OnlyTheWaitForThePhoneWatchesUsbAndEachWayOutEndsIt) {
    Arrive(kPhone); // before any wait: not taken
    EXPECT_FALSE(view.Running(timers::kUsbSettle));
    for (const auto& leave : WaysOutOfTheWait()) {
        Wait();
        EXPECT_TRUE(view.watchingUsb);
        Arrive(kPhone);
        leave();
        EXPECT_FALSE(view.watchingUsb);
        EXPECT_FALSE(view.Running(timers::kUsbSettle)); // the unsettled burst goes with the wait
    }
    EXPECT_TRUE(lines.empty());
    logic.ShowPreparing();
    EXPECT_EQ(view.watchChanges, 8); // each registration ended once, none twice
}

TEST_F(UsbWatchTest, ABurstSettlesIntoOneLinePerDeviceWithItsProblemCode) {
    view.problems = {{kPhone, 28}, {kMouse, 0}};
    Wait();
    // The phone comes, goes and comes again as it switches modes; a mouse comes; a stray goes.
    Arrive(kPhone);
    Remove(kPhone);
    Arrive(kMouse);
    logic.OnUsbDeviceChange(true, L"\\\\?\\HID#not-a-usb-path"); // not a device's path: ignored
    Arrive(L"usb\\vid_0e8d&pid_2000\\5&1a2b3c&0&2");
    Remove(L"USB\\VID_1234&PID_0001\\7&0");
    Settle();
    EXPECT_THAT(lines,
                ::testing::ElementsAre(L"USB设备接入: USB\\VID_0E8D&PID_2000\\5&1A2B3C&0&2, 问题代码 28",
                                       L"USB设备接入: USB\\VID_046D&PID_C077\\6&2F&0&1, 问题代码 0",
                                       L"USB设备移除: USB\\VID_1234&PID_0001\\7&0"));
    EXPECT_FALSE(view.Running(timers::kUsbSettle));
    view.problems.clear(); // gone from the tree before the burst settled
    Arrive(kMouse);
    Settle();
    EXPECT_EQ(lines.back(), L"USB设备接入: USB\\VID_046D&PID_C077\\6&2F&0&1, 设备已不在");
}

TEST_F(UsbWatchTest, ADeviceWithoutADriverAndNoPhoneAfterTenSecondsTurnsTheThirdHintRed) {
    view.problems = {{kPhone, 28}, {kMouse, 0}};
    Wait();
    logic.OnTimer(timers::kNoPhoneHints);
    Arrive(kMouse); // a device that works is no reason
    Settle();
    EXPECT_FALSE(view.Running(timers::kDriverHint));
    Arrive(kPhone);
    Settle();
    ASSERT_TRUE(view.Running(timers::kDriverHint));
    EXPECT_EQ(view.timers[timers::kDriverHint], 10000u);
    EXPECT_EQ(ThirdHint(), L"");
    logic.OnTimer(timers::kDriverHint);
    EXPECT_EQ(ThirdHint(), L"检测到新设备，但其驱动未安装或未能启动，请安装手机驱动后重新连接");
    EXPECT_EQ(view.controls[ids::kNoPhoneHintLast].colour, colours::kRed);
    EXPECT_FALSE(view.Running(timers::kDriverHint));
    // Unplugged: the hint is the ordinary one again.
    Remove(kPhone);
    Settle();
    EXPECT_EQ(ThirdHint(), L"3. 如仍无反应，请安装手机驱动后重新连接");
    EXPECT_EQ(view.controls[ids::kNoPhoneHintLast].colour, colours::kBlack);

    // Gone again within the ten seconds: no red hint.
    Arrive(kPhone);
    Settle();
    Remove(kPhone);
    Settle();
    EXPECT_FALSE(view.Running(timers::kDriverHint));

    // The engine reports the phone within the ten seconds: the wait ends and the hint never comes.
    Arrive(kPhone);
    Settle();
    logic.ShowUpgrading();
    EXPECT_FALSE(view.Running(timers::kDriverHint));
    logic.OnTimer(timers::kDriverHint); // already queued
    EXPECT_EQ(view.controls[ids::kNoPhoneHintLast].colour, colours::kBlack);

    // Shown, then the wait ends: the next wait starts with the ordinary hint.
    Wait();
    Arrive(kPhone);
    Settle();
    logic.OnTimer(timers::kDriverHint);
    EXPECT_EQ(view.controls[ids::kNoPhoneHintLast].colour, colours::kRed);
    logic.StopWaitingForPhone();
    EXPECT_EQ(ThirdHint(), L"3. 如仍无反应，请安装手机驱动后重新连接");
    EXPECT_EQ(view.controls[ids::kNoPhoneHintLast].colour, colours::kBlack);
}

TEST(UsbDevicePath, NamesTheDeviceInstanceOrNothing) {
    EXPECT_EQ(InstanceIdFromInterfacePath(
                  L"\\\\?\\USB#VID_0E8D&PID_2000#5&1a2b#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"),
              L"USB\\VID_0E8D&PID_2000\\5&1a2b");
    EXPECT_EQ(InstanceIdFromInterfacePath(L"\\??\\USB#VID_1&PID_2#3#{x}"), L"USB\\VID_1&PID_2\\3");
    for (const wchar_t* bad :
         {L"", L"\\\\?\\", L"USB#VID_1&PID_2#3#{x}", L"\\\\?\\USB#VID_1&PID_2#3", L"\\\\?\\USB#VID_1#{x}",
          L"\\\\?\\USB##3#{x}", L"\\\\?\\#A#B#{x}", L"\\\\?\\USB#A#B#C#{x}", L"\\\\?\\USB#A##{x}"})
        EXPECT_EQ(InstanceIdFromInterfacePath(bad), std::nullopt) << std::wstring(bad).size();
}

TEST_F(StatusViewLogicTest, UnknownTimersAreIgnored) {
    logic.OnTimer(910);
    logic.OnTimer(0);
    EXPECT_TRUE(view.controls.empty());
    EXPECT_EQ(view.timerStarts, 0);
}

} // namespace
} // namespace tarnvel
