#include "wizard/wizard_flow.h"

#include "download/download_controller.h"
#include "wizard/wizard_ids.h"
#include "wizard/wizard_texts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarnvel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The captions as UTF-8, for readable expectations (they are all in the Basic Multilingual Plane).
std::string Utf8(std::wstring_view text) {
    std::string out;
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// What the recording port logs for a line of the status view.
std::string Upgrade(std::wstring_view text) {
    return "upgrade " + Utf8(text);
}
std::string Result(std::wstring_view text) {
    return "result " + Utf8(text);
}
std::string Hint(std::wstring_view text) {
    return "hint " + Utf8(text);
}
std::string Percent(int percent) {
    return "percent " + std::to_string(percent) + "%";
}

// Records every effect as one line, so that tests can check both what happens and its order.
class RecordingPort final : public WizardPort, public StatusViewPort {
public:
    std::vector<std::string> log;
    std::wstring pathText;
    bool acceptPath = true;
    std::wstring storedPath;

    bool SetPackagePath(std::wstring_view path) override {
        log.push_back("SetPackagePath");
        if (acceptPath)
            storedPath = path;
        return acceptPath;
    }
    void PostCommand(Command command) override {
        log.push_back(command == Command::Verify ? "PostCommand Verify"
                      : command == Command::EndLog
                          ? "PostCommand EndLog"
                          : "PostCommand " + std::to_string(static_cast<int>(command)));
    }
    void BeginStop() override { log.push_back("BeginStop"); }
    std::wstring PackagePathText() override { return pathText; }
    // The status view: the lines that tell the user what happens, by the text they show.
    void SetText(int id, std::wstring_view text) override {
        const char* line = id == ids::kVerifyHint       ? "hint"
                           : id == ids::kUpgradeLine    ? "upgrade"
                           : id == ids::kUpgradePercent ? "percent"
                           : id == ids::kResultHeading  ? "result"
                                                        : nullptr;
        if (line)
            log.push_back(std::string(line) + " " + Utf8(text));
    }
    void SetCaption(WizardButton button, std::wstring_view caption) override {
        log.push_back(Name(button) + " caption " + Utf8(caption));
    }
    void SetVisible(WizardButton button, bool visible) override {
        log.push_back(Name(button) + (visible ? " shown" : " hidden"));
    }
    void SetEnabled(WizardButton button, bool enabled) override {
        log.push_back(Name(button) + (enabled ? " enabled" : " disabled"));
    }
    void StartSlideTimer() override { log.push_back("StartSlideTimer"); }
    void StopSlideTimer() override { log.push_back("StopSlideTimer"); }
    void MoveStrip(int x) override { xs.push_back(x); }
    void SetStep(int page) override { log.push_back("SetStep " + std::to_string(page)); }
    void ArrivedAt(int) override {}
    void AnnounceResult(bool succeeded) override {
        log.push_back(succeeded ? "Announce success" : "Announce failure");
    }
    void ShowTaskbar(const TaskbarLook& look) override {
        static const char* const kStates[] = {"none", "normal", "error"};
        log.push_back(std::string("Taskbar ") + kStates[static_cast<int>(look.state)] + " " +
                      std::to_string(look.percent));
    }

    std::vector<int> xs; // strip positions, kept apart from the log

    static std::string Name(WizardButton button) { return button == WizardButton::Back ? "back" : "next"; }
};

// Every path names the file state it is given.
class FixedProbe final : public FileProbe {
public:
    FileState state = FileState::Readable;
    FileState Probe(const std::wstring&) const override { return state; }
};

class WizardFlowTest : public ::testing::Test {
protected:
    WizardFlowTest() { flow.Init(); }

    // Ticks until the slide ends; the number of ticks it took.
    int FinishSlide() {
        int ticks = 0;
        while (flow.Sliding() && ticks < 100) {
            flow.OnSlideTick();
            ++ticks;
        }
        return ticks;
    }

    // From the start to page 1 with a package chosen, the log emptied.
    void StartVerification() {
        port.pathText = L"C:\\roms\\phone.RZB";
        flow.OnNext();
        FinishSlide();
        port.log.clear();
        port.xs.clear();
    }

    // Verified, the upgrade begun and at `percent`; the log cleared.
    void StartUpgradeAt(int percent) {
        StartVerification();
        flow.CarryOut({DownloadEventKind::VerifyPassed});
        flow.CarryOut({DownloadEventKind::UpgradeBegin});
        flow.CarryOut({DownloadEventKind::Progress, percent});
        port.log.clear();
    }

    RecordingPort port;
    StatusViewLogic status{port};
    FixedProbe probe;
    WizardFlow flow{port, status, probe};
};

TEST_F(WizardFlowTest, InitialisationHidesBackAndLabelsNextForTheFirstVerification) {
    RecordingPort fresh;
    StatusViewLogic freshStatus(fresh);
    WizardFlow flow2(fresh, freshStatus, probe);
    flow2.Init();
    EXPECT_THAT(fresh.log, ElementsAre("back caption 上一步", "back hidden", "next caption ROM包校验"));
    EXPECT_EQ(flow2.CurrentPage(), 0);
    EXPECT_EQ(flow2.PendingPage(), 0);
}

TEST_F(WizardFlowTest, NextWithAPathStartsVerificationAndSlidesToPageOne) {
    port.log.clear();
    port.pathText = L"C:\\roms\\phone.RZB";
    flow.OnNext();
    EXPECT_THAT(port.log,
                ElementsAre("SetPackagePath", "PostCommand Verify", Upgrade(texts::kWaitingForVerify),
                            Percent(0), "StartSlideTimer", "back disabled", "next disabled"));
    EXPECT_EQ(port.storedPath, L"C:\\roms\\phone.RZB");
    EXPECT_EQ(flow.CurrentPage(), 0);
    EXPECT_EQ(flow.PendingPage(), 1);

    port.log.clear();
    EXPECT_EQ(FinishSlide(), 6);
    EXPECT_THAT(port.xs, ElementsAre(-120, -240, -360, -480, -600, -720));
    EXPECT_THAT(port.log, ElementsAre("StopSlideTimer", "SetStep 1", "back caption 上一步", "back shown",
                                      "next caption 完成", "next shown", "back disabled", "next disabled"));
    EXPECT_EQ(flow.CurrentPage(), 1);
}

TEST_F(WizardFlowTest, NextWithAnEmptyPathAsksForAPackageAndNothingStarts) {
    port.log.clear();
    port.pathText.clear();
    flow.OnNext();
    EXPECT_THAT(port.log, ElementsAre(Hint(texts::kNoPackage)));
    EXPECT_FALSE(flow.Sliding());
}

class UnusablePackageTest : public WizardFlowTest, public ::testing::WithParamInterface<FileState> {};

TEST_P(UnusablePackageTest, IsReportedOnPageZeroAndNothingStarts) {
    port.log.clear();
    port.pathText = L"C:\\roms\\phone.RZB";
    probe.state = GetParam();
    flow.OnNext();
    EXPECT_THAT(port.log, ElementsAre("SetPackagePath", Hint(texts::kPackageUnreadable)));
    EXPECT_FALSE(flow.Sliding());

    // Chosen again, it starts.
    port.log.clear();
    probe.state = FileState::Readable;
    flow.OnNext();
    EXPECT_THAT(port.log, ::testing::Contains("PostCommand Verify"));
}

INSTANTIATE_TEST_SUITE_P(MissingFolderUnreadable, UnusablePackageTest,
                         ::testing::Values(FileState::Missing, FileState::Folder, FileState::Unreadable));

TEST_F(WizardFlowTest, RefusedPathIsReportedOnPageZeroAndNothingStarts) {
    port.log.clear();
    port.pathText = std::wstring(256, L'a');
    port.acceptPath = false;
    flow.OnNext();
    EXPECT_THAT(port.log, ElementsAre("SetPackagePath", Hint(texts::kPathTooLong)));
    EXPECT_FALSE(flow.Sliding());
    EXPECT_EQ(flow.CurrentPage(), 0);

    // The buttons keep their state, so a shorter path can be tried at once; the hint is back.
    port.log.clear();
    port.acceptPath = true;
    port.pathText = L"C:\\a.RZB";
    flow.OnNext();
    EXPECT_THAT(port.log, ElementsAre("SetPackagePath", Hint(texts::kVerifyHint), "PostCommand Verify",
                                      Upgrade(texts::kWaitingForVerify), Percent(0), "StartSlideTimer",
                                      "back disabled", "next disabled"));
}

TEST_F(WizardFlowTest, WholeSuccessfulRunAndReturnToTheFirstPage) {
    StartVerification();
    flow.CarryOut({DownloadEventKind::VerifyPassed});
    EXPECT_THAT(port.log, ElementsAre(Upgrade(texts::kConnectPhone), "back enabled"));

    port.log.clear();
    flow.CarryOut({DownloadEventKind::UpgradeBegin});
    flow.CarryOut({DownloadEventKind::UpgradeStarted});
    flow.CarryOut({DownloadEventKind::Progress, 37});
    EXPECT_THAT(port.log, ElementsAre("back disabled", Upgrade(SpinnerText(texts::kUpgrading, 0)), Percent(0),
                                      "Taskbar normal 0", Upgrade(texts::kUpgrading), Percent(37),
                                      "Taskbar normal 37"));

    port.log.clear();
    flow.CarryOut({DownloadEventKind::UpgradeSucceeded});
    EXPECT_THAT(port.log, ElementsAre(Percent(100), Result(texts::kSucceeded), "Taskbar normal 100",
                                      "Announce success", "StartSlideTimer"));
    port.log.clear();
    EXPECT_EQ(FinishSlide(), 6);
    EXPECT_THAT(port.log, ElementsAre("StopSlideTimer", "SetStep 2", "back caption 上一步", "back hidden",
                                      "next caption 完成", "next shown", "back disabled", "next enabled"));

    // "完成": back to the first page in 8 ticks, the long way faster.
    port.log.clear();
    port.xs.clear();
    flow.OnNext();
    EXPECT_THAT(port.log, ElementsAre(Percent(0), "StartSlideTimer", "back disabled", "next disabled"));
    port.log.clear();
    EXPECT_EQ(FinishSlide(), 8);
    EXPECT_THAT(port.xs, ElementsAre(-1080, -720, -600, -480, -360, -240, -120, 0));
    EXPECT_THAT(port.log, ElementsAre("StopSlideTimer", "SetStep 0", "back caption 上一步", "back hidden",
                                      "next caption 升级包校验", "next shown", "back disabled",
                                      "next enabled", "Taskbar none 0"));
    EXPECT_EQ(flow.CurrentPage(), 0);
}

TEST_F(WizardFlowTest, BackWhileWaitingForThePhoneStopsAndReturns) {
    StartVerification();
    flow.CarryOut({DownloadEventKind::VerifyPassed});
    port.log.clear();
    flow.OnBack();
    EXPECT_THAT(port.log, ElementsAre("BeginStop", "PostCommand EndLog", "StartSlideTimer", "back disabled",
                                      "next disabled"));
    port.xs.clear();
    EXPECT_EQ(FinishSlide(), 6);
    EXPECT_THAT(port.xs, ElementsAre(-600, -480, -360, -240, -120, 0));
    EXPECT_EQ(flow.CurrentPage(), 0);
}

TEST_F(WizardFlowTest, ClicksOnButtonsTheUserCannotPressAreIgnored) {
    // Back on page 0 (hidden), Back while verifying (disabled), Next on page 1 (disabled).
    port.log.clear();
    flow.OnBack();
    EXPECT_THAT(port.log, IsEmpty());
    StartVerification();
    flow.OnBack();
    flow.OnNext();
    EXPECT_THAT(port.log, IsEmpty());
    // Back after the upgrade began.
    flow.CarryOut({DownloadEventKind::VerifyPassed});
    flow.CarryOut({DownloadEventKind::UpgradeBegin});
    port.log.clear();
    flow.OnBack();
    EXPECT_THAT(port.log, IsEmpty());
}

// Back becomes usable once the slide to page 1 has ended and the verification has passed, in
// whichever order they come, and the user can go back to choose another package.
TEST_F(WizardFlowTest, BackIsUsableOnceTheSlideHasEndedAndTheVerificationPassedInEitherOrder) {
    for (const bool verifiedFirst : {true, false}) {
        SCOPED_TRACE(verifiedFirst ? "verified during the slide" : "verified after the slide");
        flow.Init();
        port.pathText = L"C:\\a.RZB";
        flow.OnNext();
        flow.OnSlideTick();
        if (verifiedFirst) {
            port.log.clear();
            flow.CarryOut({DownloadEventKind::VerifyPassed});
            EXPECT_THAT(port.log, ::testing::Not(::testing::Contains("back enabled"))); // not mid-slide
            FinishSlide();
        } else {
            FinishSlide();
            flow.CarryOut({DownloadEventKind::VerifyPassed});
        }
        EXPECT_EQ(flow.CurrentPage(), 1);
        port.log.clear();
        flow.OnBack();
        EXPECT_THAT(port.log, ::testing::Contains("BeginStop"));
        FinishSlide();
        EXPECT_EQ(flow.CurrentPage(), 0);
    }
}

TEST_F(WizardFlowTest, ResultDuringASlideRestartsFromThePageLastArrivedAt) {
    port.pathText = L"C:\\a.RZB";
    flow.OnNext();
    flow.OnSlideTick();
    flow.OnSlideTick(); // strip at -240, page 0 is still the page arrived at
    port.xs.clear();
    flow.CarryOut({DownloadEventKind::VerifyFailed});
    EXPECT_EQ(flow.PendingPage(), 2);
    // It jumps back to page 0 first; forward slides always go in steps of 120.
    EXPECT_EQ(FinishSlide(), 12);
    EXPECT_EQ(port.xs.front(), -120);
    EXPECT_EQ(port.xs.back(), -1440);
    EXPECT_EQ(flow.CurrentPage(), 2);
}

TEST_F(WizardFlowTest, FailuresShowTheResultPageAndTheTaskbarInRed) {
    StartVerification();
    flow.CarryOut({DownloadEventKind::VerifyFailed});
    EXPECT_THAT(port.log, ElementsAre(Result(texts::kVerifyFailed), "Taskbar error 100", "Announce failure",
                                      "StartSlideTimer"));
    FinishSlide();
    EXPECT_EQ(flow.CurrentPage(), 2);

    // A late progress report does not turn the red button back into progress.
    port.log.clear();
    flow.CarryOut({DownloadEventKind::Progress, 50});
    EXPECT_THAT(port.log, ElementsAre(Percent(50)));

    // Returning to the first page clears the button.
    flow.OnNext();
    port.log.clear();
    FinishSlide();
    EXPECT_EQ(port.log.back(), "Taskbar none 0");
}

TEST_F(WizardFlowTest, UpgradeFailureAfterProgress) {
    StartUpgradeAt(60);
    flow.CarryOut({DownloadEventKind::UpgradeFailed});
    EXPECT_THAT(port.log, ElementsAre(Result(texts::kUpgradeFailed), "Taskbar error 100", "Announce failure",
                                      "StartSlideTimer"));
}

TEST_F(WizardFlowTest, SecondCellStartingDisablesBackAgainAndStaysOnThePage) {
    StartUpgradeAt(30);
    flow.CarryOut({DownloadEventKind::UpgradeBegin});
    EXPECT_THAT(port.log, ElementsAre("back disabled", Upgrade(SpinnerText(texts::kUpgrading, 0)), Percent(0),
                                      "Taskbar normal 0"));
    EXPECT_FALSE(flow.Sliding());
    EXPECT_EQ(flow.CurrentPage(), 1);
}

TEST_F(WizardFlowTest, GoToPageOutsideTheThreePagesIsIgnored) {
    port.log.clear();
    flow.GoToPage(3);
    flow.GoToPage(-1);
    EXPECT_THAT(port.log, IsEmpty());
    EXPECT_FALSE(flow.Sliding());
}

TEST_F(WizardFlowTest, StrayTickAfterTheSlideEndedDoesNothing) {
    StartVerification();
    flow.OnSlideTick();
    EXPECT_THAT(port.log, IsEmpty());
    EXPECT_THAT(port.xs, IsEmpty());
}

TEST(CloseDecision, AsksWhenAllowedRefusesWhileWritingClosesWithoutController) {
    EXPECT_EQ(DecideClose(true, true), CloseAction::Ask);
    EXPECT_EQ(DecideClose(true, false), CloseAction::Refuse);
    EXPECT_EQ(DecideClose(false, false), CloseAction::CloseNow);
}

TEST(ButtonsOnArrival, TableOfThePages) {
    const PageButtons page0 = ButtonsOnArrival(0);
    EXPECT_STREQ(page0.next.caption, texts::kNextVerify);
    EXPECT_TRUE(page0.next.enabled);
    EXPECT_FALSE(page0.back.visible);
    const PageButtons page1 = ButtonsOnArrival(1);
    EXPECT_TRUE(page1.back.visible);
    EXPECT_FALSE(page1.back.enabled);
    EXPECT_FALSE(page1.next.enabled);
    EXPECT_STREQ(page1.next.caption, texts::kFinish);
    const PageButtons page2 = ButtonsOnArrival(2);
    EXPECT_FALSE(page2.back.visible);
    EXPECT_TRUE(page2.next.enabled);
}

} // namespace
} // namespace tarnvel
