// Window titles, control ids and the frame colour of the control gallery, shared with the tests
// that take its screenshots and look up each specimen's place on the screen.
#pragma once

#include <windows.h>

namespace tarnvel::gallery {

inline constexpr wchar_t kHostClass[] = L"TarnvelGalleryHost";
inline constexpr wchar_t kFrameTitle[] = L"Tarnvel control gallery";
inline constexpr wchar_t kReadyTitle[] = L"Tarnvel control gallery (ready)";
inline constexpr wchar_t kMainTitle[] = L"Tarnvel gallery main window";

// Around the panels, and under the main window specimen's shadow.
inline constexpr COLORREF kFrameColour = RGB(0xDD, 0xE1, 0xE4);

// The main window specimen: a 720 x 500 pop-up with its shadow (size 15, inset 5, mode 4).
inline constexpr int kMainLeft = 40;
inline constexpr int kMainTop = 40;
inline constexpr int kMainWidth = 720;
inline constexpr int kMainHeight = 500;

// Children of the main window specimen besides the controls of their own ids.
inline constexpr int kStepIndicator = 20;
inline constexpr int kPageArea = 21;
inline constexpr int kCloseHover = 22;
inline constexpr int kClosePressed = 23;
inline constexpr int kCloseDisabled = 24;
inline constexpr int kBackHover = 25;
inline constexpr int kNextDisabled = 26;

// Panels of the frame.
inline constexpr int kPanelBars = 10;      // system menu colour: 390 x 23 bars
inline constexpr int kPanelStepBars = 11;  // white: 678 x 3 step bars
inline constexpr int kPanelButtons = 12;   // system menu colour: buttons in their states
inline constexpr int kPanelLabels = 13;    // system menu colour
inline constexpr int kPanelImages = 14;    // system menu colour
inline constexpr int kPanelPathBoxes = 15; // system menu colour
inline constexpr int kPanelWhite = 16;     // white: pictures over white

// Bars of kPanelBars at 0, 1, 50, 100, 150 and -5 percent.
inline constexpr int kBarFirst = 3001;
inline constexpr int kBarPercents[] = {0, 1, 50, 100, 150, -5};
// Step bars of kPanelStepBars at 8, 9, 50 and 100 percent.
inline constexpr int kStepBarFirst = 3011;
inline constexpr int kStepBarPercents[] = {8, 9, 50, 100};

// Buttons of kPanelButtons: kButtonFirst + 10 * row + state; rows: picture 243, 244, 245 (browse
// size), 217; states: normal, hover, pressed, disabled. kLiveButton is a 243 button left to the
// pointer.
inline constexpr int kButtonFirst = 3100;
inline constexpr int kButtonRows = 4;
inline constexpr int kStateNormal = 0;
inline constexpr int kStateHover = 1;
inline constexpr int kStatePressed = 2;
inline constexpr int kStateDisabled = 3;
inline constexpr int kLiveButton = 3150;

// Labels of kPanelLabels.
inline constexpr int kLabelEllipsis = 3201;
inline constexpr int kLabelTwoLines = 3202;
inline constexpr int kLabelRight = 3203;
inline constexpr int kLabelLink = 3204;
inline constexpr int kLabelWorker = 3205;
inline constexpr int kLabelSlogan = 3206;

// Path boxes of kPanelPathBoxes: with text, focused with text, empty.
inline constexpr int kPathBoxText = 3301;
inline constexpr int kPathBoxFocused = 3302;
inline constexpr int kPathBoxEmpty = 3303;
inline constexpr int kPathBoxBrowse = 3304;
inline constexpr int kPathEditOffset = 100; // the edit inside a box has the box's id + this

// Images of kPanelImages and kPanelWhite.
inline constexpr int kImageFirst = 3401;      // 219, 229, 230, 231, none
inline constexpr int kWhiteImageFirst = 3411; // 230, 231

} // namespace tarnvel::gallery
