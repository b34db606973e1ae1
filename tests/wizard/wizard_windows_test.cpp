// The wizard's views as real windows: the layout of their controls and what the state operations
// do to them. Needs a display (the test runner provides a virtual one).
#include "controls/document_view.h"
#include "controls/image_loader.h"
#include "controls/themed_label.h"
#include "resources/picture_ids.h"
#include "wizard/download_view.h"
#include "wizard/main_skin.h"
#include "wizard/progress_view.h"
#include "wizard/skin.h"
#include "wizard/wizard_ids.h"
#include "wizard/wizard_texts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tarnvel {
namespace {

// A plain top-level window that holds the views, as the main window does.
class HostWindow {
public:
    HostWindow() {
        hwnd_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 720, 500, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~HostWindow() {
        if (hwnd_)
            DestroyWindow(hwnd_);
    }
    HWND Get() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

void PumpMessagesFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

class StatusViewWindowTest : public ::testing::Test {
protected:
    StatusViewWindowTest() {
        container.contentRect = kMainLayout.pageContent;
        container.Create(host.Get(), {2, 104, 718, 438}, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                         WS_EX_WINDOWEDGE, 0);
        view = container.ContentAs<CTarnvelAssistantDownloadView>();
    }

    // The control's rectangle in the view's client coordinates.
    RECT RectOf(int id) const {
        RECT rect{};
        const HWND control = view->Control(id);
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, view->Handle(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    bool Visible(int id) const { return (GetWindowLongW(view->Control(id), GWL_STYLE) & WS_VISIBLE) != 0; }
    std::wstring Text(int id) const { return view->Label(id)->Text(); }

    HostWindow host;
    StatusViewLogic status;
    CDocumentView container{[this] {
        return std::make_unique<CTarnvelAssistantDownloadView>(status);
    }};
    CTarnvelAssistantDownloadView* view = nullptr;
};

::testing::AssertionResult SameRect(const RECT& actual, const RECT& expected) {
    if (EqualRect(&actual, &expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << actual.left << ", " << actual.top << ", " << actual.right << ", " << actual.bottom
           << ") instead of (" << expected.left << ", " << expected.top << ", " << expected.right << ", "
           << expected.bottom << ")";
}

TEST_F(StatusViewWindowTest, EveryControlSitsAtItsPlaceWithItsVisibility) {
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->Handle(), nullptr);
    struct Expected {
        int id;
        RECT rect;
        bool visible;
    };
    const Expected controls[] = {
        {ids::kPhoneDownImage, {80, 60, 200, 300}, true},
        {ids::kSlogan, {270, 48, 720, 140}, true},
        {ids::kCommunityHint, {270, 92, 720, 400}, true},
        {ids::kCommunityLabel, {270, 111, 720, 400}, true},
        {ids::kCommunityLink, {480, 111, 650, 130}, true},
        {ids::kChooseHeading, {270, 175, 720, 240}, true},
        {ids::kPathBox, {270, 219, 615, 249}, true},
        {ids::kBrowse, {614, 219, 660, 249}, true},
        {ids::kVerifyHint, {270, 300, 550, 400}, true},
        {ids::kPhoneUpImage, {800, 65, 920, 305}, true},
        {ids::kVerifyHeading, {990, 48, 1180, 73}, true},
        {ids::kPrepareLine, {990, 92, 1280, 114}, true},
        {ids::kPreparePercent, {1340, 92, 1380, 114}, true},
        {ids::kPrepareBar, {990, 117, 1380, 140}, true},
        {ids::kPatienceHint, {990, 140, 1380, 155}, true},
        {ids::kUpgradeHeading, {990, 175, 1180, 200}, true},
        {ids::kUpgradeLine, {990, 219, 1280, 241}, true},
        {ids::kUpgradePercent, {1340, 219, 1380, 241}, true},
        {ids::kUpgradeBar, {990, 244, 1380, 267}, true},
        {ids::kConnectLink, {990, 267, 1380, 282}, false},
        {ids::kKeepConnectedHint, {990, 267, 1380, 282}, false},
        {ids::kResultImage, {1520, 65, 1640, 185}, true},
        {ids::kResultHeading, {1710, 105, 2160, 300}, true},
        {ids::kRomVersion, {1710, 175, 2160, 300}, true},
        {ids::kHelpFirst, {1710, 145, 2160, 160}, false},
        {ids::kHelpFirst + 1, {1710, 170, 2160, 185}, false},
        {ids::kHelpFirst + 2, {1710, 190, 2160, 205}, false},
        {ids::kHelpFirst + 3, {1710, 210, 2160, 225}, false},
        {ids::kHelpLast, {1710, 235, 2160, 250}, false},
    };
    for (const Expected& c : controls) {
        ASSERT_NE(view->Control(c.id), nullptr) << c.id;
        EXPECT_TRUE(SameRect(RectOf(c.id), c.rect)) << c.id;
        EXPECT_EQ(Visible(c.id), c.visible) << c.id;
    }
    // The strip is created wider than the slider will later make it.
    RECT strip{};
    GetClientRect(view->Handle(), &strip);
    EXPECT_EQ(strip.right, 2880);
    EXPECT_EQ(strip.bottom, 334);
}

TEST_F(StatusViewWindowTest, LabelsCarryTheirTextsColoursAndAlignment) {
    EXPECT_EQ(Text(ids::kChooseHeading), L"请选择ROM");
    EXPECT_EQ(view->Label(ids::kChooseHeading)->textColour.load(), ColourOf(0xC45033));
    EXPECT_EQ(Text(ids::kPreparePercent), L"0%");
    EXPECT_EQ(view->Label(ids::kPreparePercent)->textFormat.load(), 0x8806u);
    EXPECT_EQ(view->Label(ids::kPrepareLine)->textFormat.load(), 0x8804u);
    EXPECT_EQ(view->Label(ids::kCommunityLink)->textColour.load(), ColourOf(0x0000FF));
    EXPECT_TRUE(view->Label(ids::kCommunityLink)->IsLink());
    EXPECT_TRUE(view->Label(ids::kConnectLink)->IsLink());
    EXPECT_FALSE(view->Label(ids::kSlogan)->IsLink());
    EXPECT_EQ(Text(ids::kRomVersion), L"ROM版本号：XXXXXXXXXX");
    EXPECT_EQ(Text(ids::kHelpFirst + 2), L"2. 手机与ROM文件不匹配（需插入正确手机或选择正确的ROM文件）");
}

TEST_F(StatusViewWindowTest, StateOperationsReachTheControlsAndTheTimersRun) {
    view->Logic().ShowPreparing();
    PumpMessagesFor(std::chrono::milliseconds(400)); // a few spinner ticks, no percentage tick yet
    const std::wstring line = Text(ids::kPrepareLine);
    ASSERT_EQ(line.size(), std::wstring(texts::kPreparing).size() + 1);
    EXPECT_EQ(line.substr(0, line.size() - 1), texts::kPreparing);
    EXPECT_EQ(Text(ids::kPreparePercent), L"0%");

    view->Logic().ShowVerifyPassed();
    const std::wstring stopped = Text(ids::kPrepareLine);
    PumpMessagesFor(std::chrono::milliseconds(300));
    EXPECT_EQ(Text(ids::kPrepareLine), stopped); // the spinner was stopped
    EXPECT_EQ(stopped, L"数据准备完毕");
    EXPECT_EQ(view->Bar(ids::kPrepareBar)->Percent(), 100);

    view->Logic().ShowUpgrading();
    view->Logic().SetDownloadPercent(50);
    EXPECT_EQ(Text(ids::kUpgradePercent), L"50%");
    EXPECT_EQ(view->Bar(ids::kUpgradeBar)->FillWidth(), 195); // half of 390 pixels
    EXPECT_TRUE(Visible(ids::kKeepConnectedHint));

    view->Logic().ShowUpgradeFailed();
    EXPECT_FALSE(Visible(ids::kRomVersion));
    for (int id = ids::kHelpFirst; id <= ids::kHelpLast; ++id)
        EXPECT_TRUE(Visible(id)) << id;
    EXPECT_EQ(Text(ids::kResultHeading), L"手机升级失败！");
}

TEST(FailureFaceTest, LoadsAtTheSizeOfTheSuccessFace) {
    const UniqueBitmap failure = LoadPngPicture(kPictureFailureFace);
    ASSERT_TRUE(failure);
    BITMAP bitmap{};
    ASSERT_NE(GetObjectW(failure.Get(), sizeof(bitmap), &bitmap), 0);
    EXPECT_EQ(bitmap.bmWidth, 120);
    EXPECT_EQ(bitmap.bmHeight, 120);
}

// The buttons' captions: the DC's own system font on a Chinese Windows at its dpi, scaled at
// another dpi, and the wizard's face where the system font has no Chinese.
TEST(CaptionFontTest, IsTheSystemFontWhereItDrawsChineseElseTheWizardFace) {
    LOGFONTW system{};
    system.lfHeight = 16;
    system.lfWidth = 8;
    system.lfWeight = FW_BOLD;
    system.lfCharSet = ANSI_CHARSET;
    wcscpy(system.lfFaceName, L"System");

    EXPECT_FALSE(CaptionFont(system, 936, 96, 96));
    const auto scaled = CaptionFont(system, 936, 144, 96);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->lfHeight, 24);
    EXPECT_EQ(scaled->lfWidth, 12);
    EXPECT_STREQ(scaled->lfFaceName, L"System");

    for (const UINT codePage : {1252u, 1251u, 932u}) {
        const auto caption = CaptionFont(system, codePage, 144, 96);
        ASSERT_TRUE(caption) << codePage;
        EXPECT_STREQ(caption->lfFaceName, kUiFace);
        EXPECT_EQ(caption->lfCharSet, GB2312_CHARSET);
        EXPECT_EQ(caption->lfHeight, 24);
        EXPECT_EQ(caption->lfWidth, 0);
        EXPECT_EQ(caption->lfWeight, FW_BOLD);
    }
}

TEST_F(StatusViewWindowTest, PathBoxGivesBackWhatItHoldsWhole) {
    EXPECT_EQ(view->PathText(), L"");
    const std::wstring longPath = L"C:\\" + std::wstring(300, L'x') + L".RZB";
    SetWindowTextW(FindWindowExW(view->Control(ids::kPathBox), nullptr, L"EDIT", nullptr), longPath.c_str());
    EXPECT_EQ(view->PathText(), longPath);
}

class StepIndicatorWindowTest : public ::testing::Test {
protected:
    StepIndicatorWindowTest() {
        indicator.Create(host.Get(), {2, 60, 718, 103}, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                         WS_EX_WINDOWEDGE, 0);
    }
    COLORREF Colour(int index) const { return indicator.Label(index).textColour.load(); }

    HostWindow host;
    CProgressView indicator;
};

TEST_F(StepIndicatorWindowTest, CreationStateDiffersFromStepZero) {
    ASSERT_NE(indicator.Handle(), nullptr);
    EXPECT_EQ(indicator.Bar().FillWidth(), 54);
    EXPECT_EQ(Colour(0), ColourOf(0x006464));
    EXPECT_EQ(Colour(1), ColourOf(0x006400));
    EXPECT_EQ(Colour(2), ColourOf(0x000000));
    EXPECT_EQ(indicator.Label(2).Text(), L"完成");
    RECT third{};
    GetWindowRect(indicator.Label(2).Handle(), &third);
    EXPECT_EQ(third.right - third.left, 50); // it reaches beyond the band and is clipped there
}

TEST_F(StepIndicatorWindowTest, StepsSetTheBarAndAllThreeColours) {
    indicator.SetStep(2);
    EXPECT_EQ(indicator.Bar().FillWidth(), 678);
    EXPECT_EQ(Colour(2), ColourOf(0x006464));
    indicator.SetStep(0);
    EXPECT_EQ(indicator.Bar().FillWidth(), 61);
    EXPECT_EQ(Colour(1), ColourOf(0x000000));
    EXPECT_EQ(Colour(2), ColourOf(0x000000));
    indicator.SetStep(1);
    EXPECT_EQ(indicator.Bar().FillWidth(), 339);
    indicator.SetStep(3);
    indicator.SetStep(-1);
    EXPECT_EQ(indicator.Bar().FillWidth(), 339);
    EXPECT_EQ(Colour(1), ColourOf(0x006464));
}

} // namespace
} // namespace tarnvel
