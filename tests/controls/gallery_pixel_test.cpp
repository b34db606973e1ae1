// Screenshots of the control gallery: the gallery runs as its own process on the test display, the
// screen is copied once everything is painted, and pixels are checked at the specimens' places.
// The screenshot is kept as gallery_screenshot.png beside the test programs.
#include "gallery/gallery_ids.h"

#include "test_windows.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace tarnvel::gallery {
namespace {

constexpr COLORREF kBarBlue = RGB(0x22, 0x7C, 0xF6);
constexpr COLORREF kTrackGrey = RGB(0xF5, 0xF5, 0xF5);
constexpr COLORREF kBorderGrey = RGB(0xCA, 0xCA, 0xCA);
constexpr COLORREF kStepFill = RGB(0xA4, 0xD9, 0xF7);
constexpr COLORREF kStepTrack = RGB(0xEE, 0xEE, 0xEE);
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);

using testing::Near;
using testing::Screenshot;

std::string Hex(COLORREF colour) {
    char text[16];
    snprintf(text, sizeof(text), "#%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

class GalleryScreen : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        wchar_t command[] = L"gallery.exe";
        ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process_))
            << "gallery.exe must be beside the test";
        for (int i = 0; i < 600 && !frame_; ++i) {
            frame_ = FindWindowW(kHostClass, kReadyTitle);
            Sleep(50);
        }
        ASSERT_TRUE(frame_) << "the gallery did not get ready";
        main_ = FindWindowW(kHostClass, kMainTitle);
        // Let the compositor show the last paints.
        Sleep(700);
        shot_ = std::make_unique<Screenshot>();
        shot_->SavePng(L"gallery_screenshot.png");
    }

    static void TearDownTestSuite() {
        if (frame_)
            PostMessageW(frame_, WM_CLOSE, 0, 0);
        if (process_.hProcess) {
            if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(process_.hProcess, 1);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        shot_.reset();
    }

protected:
    void SetUp() override {
        ASSERT_TRUE(frame_);
        ASSERT_TRUE(shot_);
    }

    static RECT Place(HWND parent, int id) {
        RECT rect{};
        HWND child = GetDlgItem(parent, id);
        EXPECT_TRUE(child) << "no specimen " << id;
        GetWindowRect(child, &rect);
        return rect;
    }
    static HWND Panel(int id) { return GetDlgItem(frame_, id); }
    static COLORREF At(const RECT& origin, int x, int y) {
        return shot_->At(origin.left + x, origin.top + y);
    }

    // The rightmost x in row y of rect whose colour is near colour; -1 when there is none.
    static int RightmostNear(const RECT& rect, int y, COLORREF colour, int tolerance) {
        int found = -1;
        for (int x = 0; x < rect.right - rect.left; ++x)
            if (Near(At(rect, x, y), colour, tolerance))
                found = x;
        return found;
    }

    // The darkest grey level inside a part of rect.
    static int DarkestLevel(const RECT& rect, int left, int top, int right, int bottom) {
        int darkest = 255;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const COLORREF c = At(rect, x, y);
                darkest =
                    std::min(darkest, static_cast<int>(std::max({GetRValue(c), GetGValue(c), GetBValue(c)})));
            }
        return darkest;
    }

    static PROCESS_INFORMATION process_;
    static HWND frame_;
    static HWND main_;
    static std::unique_ptr<Screenshot> shot_;
};

PROCESS_INFORMATION GalleryScreen::process_{};
HWND GalleryScreen::frame_ = nullptr;
HWND GalleryScreen::main_ = nullptr;
std::unique_ptr<Screenshot> GalleryScreen::shot_;

TEST_F(GalleryScreen, BarOf390PixelsEndsItsFillWhereThePercentSays) {
    const int ends[] = {0, 3, 195, 390, 390, 390};
    for (int i = 0; i < 6; ++i) {
        const RECT bar = Place(Panel(kPanelBars), kBarFirst + i);
        ASSERT_EQ(bar.right - bar.left, 390);
        const int last = RightmostNear(bar, 6, kBarBlue, 30);
        SCOPED_TRACE("percent " + std::to_string(kBarPercents[i]) + ", last blue " + std::to_string(last));
        EXPECT_LT(last, std::max(ends[i], 1));
        if (ends[i] >= 195) {
            EXPECT_GE(last, ends[i] - 3);
        }
        if (ends[i] > 0 && ends[i] < 390) {
            EXPECT_TRUE(Near(At(bar, ends[i] + 2, 6), kTrackGrey)) << Hex(At(bar, ends[i] + 2, 6));
        }
    }
    // 100, 150 and -5 percent look the same.
    const RECT full = Place(Panel(kPanelBars), kBarFirst + 3);
    for (int i = 4; i < 6; ++i) {
        const RECT other = Place(Panel(kPanelBars), kBarFirst + i);
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 390; ++x)
                ASSERT_EQ(At(full, x, y), At(other, x, y)) << i << " at " << x << "," << y;
    }
}

TEST_F(GalleryScreen, TrackHasRoundCapsAndEndsAtTheBarsRightEdge) {
    const RECT empty = Place(Panel(kPanelBars), kBarFirst);
    const COLORREF background = GetSysColor(COLOR_MENU);
    EXPECT_TRUE(Near(At(empty, 195, 6), kTrackGrey)) << Hex(At(empty, 195, 6));
    EXPECT_TRUE(Near(At(empty, 385, 6), kTrackGrey)) << Hex(At(empty, 385, 6)); // squeezed last piece
    EXPECT_TRUE(Near(At(empty, 195, 0), kBorderGrey, 12)) << Hex(At(empty, 195, 0));
    EXPECT_TRUE(Near(At(empty, 389, 6), kBorderGrey, 30)) << Hex(At(empty, 389, 6)); // right cap's border
    EXPECT_TRUE(Near(At(empty, 0, 0), background, 30)) << Hex(At(empty, 0, 0));      // rounded corner
    EXPECT_TRUE(Near(At(empty, 389, 11), background, 30)) << Hex(At(empty, 389, 11));
    EXPECT_EQ(At(empty, 195, 15), background); // below the 12-pixel track
    EXPECT_EQ(At(empty, 390, 6), background);
}

TEST_F(GalleryScreen, StepBarOf678PixelsAtItsSteps) {
    const int ends[] = {54, 61, 339, 678};
    for (int i = 0; i < 4; ++i) {
        const RECT bar = Place(Panel(kPanelStepBars), kStepBarFirst + i);
        ASSERT_EQ(bar.right - bar.left, 678);
        const int last = RightmostNear(bar, 1, kStepFill, 12);
        SCOPED_TRACE("percent " + std::to_string(kStepBarPercents[i]) + ", last fill " +
                     std::to_string(last));
        EXPECT_LT(last, ends[i]);
        EXPECT_GE(last, ends[i] - 3);
        if (ends[i] < 678) {
            EXPECT_TRUE(Near(At(bar, ends[i] + 1, 1), kStepTrack, 3)) << Hex(At(bar, ends[i] + 1, 1));
        }
        // The track's squeezed last piece and right cap end exactly at the bar's right edge.
        EXPECT_TRUE(Near(At(bar, 677, 0), kStepTrack, 3)) << Hex(At(bar, 677, 0));
        EXPECT_EQ(At(bar, 678, 1), kWhite);
    }
    // The indicator's own bar in the main window specimen starts at 8 percent.
    const RECT own = Place(GetDlgItem(main_, kStepIndicator), 2004);
    const int last = RightmostNear(own, 1, kStepFill, 12);
    EXPECT_LT(last, 54);
    EXPECT_GE(last, 51);
}

TEST_F(GalleryScreen, ButtonFramesAndCaptionColoursOfEachState) {
    const HWND panel = Panel(kPanelButtons);
    struct Row {
        COLORREF face[4];
        int tolerance;
    };
    const Row rows[] = {
        {{RGB(0xF9, 0xF9, 0xF9), RGB(0xEA, 0xEA, 0xEA), RGB(0xB9, 0xB9, 0xB9), RGB(0xB9, 0xB9, 0xB9)}, 4},
        {{RGB(0x51, 0xC5, 0x53), RGB(0x43, 0xAF, 0x45), RGB(0xA6, 0xA6, 0xA6), RGB(0xA6, 0xA6, 0xA6)}, 5},
        {{RGB(0xF9, 0xF9, 0xF9), RGB(0xEA, 0xEA, 0xEA), RGB(0xB9, 0xB9, 0xB9), RGB(0xB9, 0xB9, 0xB9)}, 5},
    };
    int darkestOf[3][4] = {};
    for (int row = 0; row < 3; ++row) {
        for (int state = 0; state < 4; ++state) {
            const RECT button = Place(panel, kButtonFirst + 10 * row + state);
            const int height = button.bottom - button.top;
            const int width = button.right - button.left;
            SCOPED_TRACE("row " + std::to_string(row) + " state " + std::to_string(state));
            const COLORREF face = At(button, 3, height / 2);
            EXPECT_TRUE(Near(face, rows[row].face[state], rows[row].tolerance)) << Hex(face);
            if (row != 1) {
                EXPECT_TRUE(Near(At(button, 0, height / 2), kBorderGrey, 3))
                    << Hex(At(button, 0, height / 2));
            }
            // Caption: #323232 in the normal and disabled states, #000000 hovered and pressed. The
            // browse button's thin 14-pixel glyphs never reach their full colour: compared instead.
            const int darkest = DarkestLevel(button, 4, 4, width - 4, height - 4);
            darkestOf[row][state] = darkest;
            if (row == 2) {
                continue;
            } else if (state == kStateNormal || state == kStateDisabled) {
                EXPECT_GE(darkest, 0x28) << darkest;
                EXPECT_LE(darkest, 0x50) << darkest;
            } else {
                EXPECT_LT(darkest, 0x20) << darkest;
            }
        }
    }
    EXPECT_LT(darkestOf[2][kStateHover], darkestOf[2][kStateNormal] - 20);
    EXPECT_LT(darkestOf[2][kStatePressed], darkestOf[2][kStateNormal] - 20);
}

TEST_F(GalleryScreen, CloseButtonCrossPerState) {
    const COLORREF crosses[] = {RGB(0x9B, 0x9F, 0xA3), RGB(0x6F, 0x74, 0x78), RGB(0x23, 0x7D, 0xED),
                                RGB(0x23, 0x7D, 0xED)};
    for (int state = 0; state < 4; ++state) {
        const RECT button = Place(Panel(kPanelButtons), kButtonFirst + 30 + state);
        EXPECT_TRUE(Near(At(button, 30, 30), crosses[state], 30)) << state << " " << Hex(At(button, 30, 30));
        EXPECT_TRUE(Near(At(button, 5, 5), RGB(0xFA, 0xFB, 0xFB), 6)) << Hex(At(button, 5, 5));
    }
}

TEST_F(GalleryScreen, PointerOverAButtonShowsItsHoverFrame) {
    const RECT button = Place(Panel(kPanelButtons), kLiveButton);
    const int height = button.bottom - button.top;
    const COLORREF before = At(button, 3, height / 2);
    EXPECT_TRUE(Near(before, RGB(0xF9, 0xF9, 0xF9), 4)) << Hex(before);
    // From elsewhere onto the button: a pointer that an earlier program left where the button now
    // is would not move at all, and the button would hear of no pointer.
    SetCursorPos(5, GetSystemMetrics(SM_CYSCREEN) - 5);
    Sleep(50);
    SetCursorPos((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    COLORREF now = before;
    for (int i = 0; i < 60 && !Near(now, RGB(0xEA, 0xEA, 0xEA), 4); ++i) {
        Sleep(50);
        HDC screen = GetDC(nullptr);
        now = GetPixel(screen, button.left + 3, button.top + height / 2);
        ReleaseDC(nullptr, screen);
    }
    SetCursorPos(5, GetSystemMetrics(SM_CYSCREEN) - 5);
    EXPECT_TRUE(Near(now, RGB(0xEA, 0xEA, 0xEA), 4)) << Hex(now);
}

TEST_F(GalleryScreen, LongLabelEndsInAnEllipsis) {
    const RECT label = Place(Panel(kPanelLabels), kLabelEllipsis);
    const int width = label.right - label.left;
    const int height = label.bottom - label.top;
    const COLORREF background = GetSysColor(COLOR_MENU);
    int inkRight = -1;
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            if (!Near(At(label, x, y), background, 60))
                inkRight = x;
    ASSERT_GT(inkRight, width - 30) << "the text should run up to the label's end";
    // The last ink is three dots on the baseline: only a few rows tall.
    int top = height, bottom = -1;
    for (int x = inkRight - 8; x <= inkRight; ++x)
        for (int y = 0; y < height; ++y)
            if (!Near(At(label, x, y), background, 60)) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_LE(bottom - top, 3) << "rows " << top << " to " << bottom;
    EXPECT_FALSE(Near(At(label, width + 1, height / 2), RGB(0, 0, 0), 60));
}

TEST_F(GalleryScreen, LabelWithLineBreakShowsTwoLinesFromTheTop) {
    const RECT label = Place(Panel(kPanelLabels), kLabelTwoLines);
    const COLORREF background = GetSysColor(COLOR_MENU);
    std::vector<bool> ink;
    for (int y = 0; y < label.bottom - label.top; ++y) {
        bool any = false;
        for (int x = 0; x < label.right - label.left && !any; ++x)
            any = !Near(At(label, x, y), background, 60);
        ink.push_back(any);
    }
    int bands = 0;
    for (size_t y = 0; y < ink.size(); ++y)
        if (ink[y] && (y == 0 || !ink[y - 1]))
            ++bands;
    EXPECT_EQ(bands, 2);
    const auto first = std::find(ink.begin(), ink.end(), true);
    EXPECT_LT(first - ink.begin(), 6);
}

TEST_F(GalleryScreen, PathBoxKeepsItsMarginsAndBlackText) {
    const HWND panel = Panel(kPanelPathBoxes);
    const RECT box = Place(panel, kPathBoxText);
    ASSERT_EQ(box.right - box.left, 345);
    ASSERT_EQ(box.bottom - box.top, 30);
    RECT edit{};
    GetWindowRect(GetDlgItem(GetDlgItem(panel, kPathBoxText), kPathBoxText + kPathEditOffset), &edit);
    EXPECT_EQ(edit.left - box.left, 5);
    EXPECT_EQ(edit.top - box.top, 6);
    EXPECT_EQ(edit.right - edit.left, 335);
    EXPECT_EQ(edit.bottom - edit.top, 18);
    EXPECT_EQ(At(box, 0, 15), kBorderGrey);
    EXPECT_EQ(At(box, 344, 15), kBorderGrey);
    for (int x = 1; x < 5; ++x)
        for (int y = 1; y < 29; ++y)
            ASSERT_EQ(At(box, x, y), kWhite) << x << "," << y;
    EXPECT_LT(DarkestLevel(box, 5, 6, 340, 24), 0x30);
    // The empty box is the picture alone.
    const RECT empty = Place(panel, kPathBoxEmpty);
    EXPECT_EQ(DarkestLevel(empty, 1, 1, 344, 29), 0xFF);
}

TEST_F(GalleryScreen, ShadowSurroundsTheMainWindowAndSitsLower) {
    RECT owner{};
    GetWindowRect(main_, &owner);
    ASSERT_EQ(owner.right - owner.left, 720);
    ASSERT_EQ(owner.bottom - owner.top, 500);
    HWND shadow = FindWindowW(L"CThemedShadowWnd", nullptr);
    ASSERT_TRUE(shadow);
    RECT rect{};
    GetWindowRect(shadow, &rect);
    EXPECT_EQ(rect.left, owner.left - 15);
    EXPECT_EQ(rect.top, owner.top - 8);
    EXPECT_EQ(rect.right - rect.left, 750);
    EXPECT_EQ(rect.bottom - rect.top, 530);
    EXPECT_TRUE(IsWindowVisible(shadow));
    // Dark below the window, lighter at the sides, nothing beyond it.
    const int middle = (owner.left + owner.right) / 2;
    const COLORREF below = shot_->At(middle, owner.bottom + 10);
    const COLORREF side = shot_->At(owner.left - 5, (owner.top + owner.bottom) / 2);
    EXPECT_LT(GetRValue(below), GetRValue(kFrameColour) - 40) << Hex(below);
    EXPECT_LT(GetRValue(side), GetRValue(kFrameColour)) << Hex(side);
    EXPECT_EQ(shot_->At(middle, rect.bottom + 2), kFrameColour);
    EXPECT_EQ(shot_->At(rect.left - 2, (owner.top + owner.bottom) / 2), kFrameColour);
}

TEST_F(GalleryScreen, PicturesShowTheirBackgroundThroughTheirTransparentParts) {
    const RECT face = Place(Panel(kPanelWhite), kWhiteImageFirst);
    EXPECT_EQ(At(face, 42, 46), kWhite); // an eye
    EXPECT_EQ(At(face, 60, 20), RGB(0x23, 0x7D, 0xED));
    const RECT badge = Place(Panel(kPanelWhite), kWhiteImageFirst + 1);
    EXPECT_EQ(At(badge, 18, 22), kWhite); // the arrow
    EXPECT_EQ(At(badge, 6, 18), RGB(0x23, 0x7D, 0xED));
    const RECT phone = Place(Panel(kPanelImages), kImageFirst);
    EXPECT_EQ(At(phone, 2, 2), GetSysColor(COLOR_MENU));
    EXPECT_EQ(At(phone, 60, 60), RGB(0xF1, 0xF4, 0xF5));  // the screen
    EXPECT_EQ(At(phone, 16, 120), RGB(0xD1, 0xDA, 0xDF)); // the outline
}

} // namespace
} // namespace tarnvel::gallery
