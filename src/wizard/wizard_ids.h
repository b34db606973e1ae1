// Control ids, timer ids and colours of the wizard's windows. Plain C++: the flow and the views'
// logic use them without a window.
#pragma once

#include <cstdint>

namespace tarnvel {

// A colour in the platform's 0x00BBGGRR layout, written from its #RRGGBB form.
constexpr std::uint32_t ColourOf(std::uint32_t rrggbb) {
    return ((rrggbb >> 16) & 0xFF) | (rrggbb & 0xFF00) | ((rrggbb & 0xFF) << 16);
}

namespace ids {

// Main window.
inline constexpr int kClose = 2;
inline constexpr int kTitle = 1006; // the title and the version label share it
inline constexpr int kBack = 1003;
inline constexpr int kNext = 1004;
inline constexpr int kLogo = 2021;

// Step indicator.
inline constexpr int kStepFirst = 2022;
inline constexpr int kStepSecond = 2024;
inline constexpr int kStepThird = 2025;
inline constexpr int kStepBar = 2004;

// Status view, page 0.
inline constexpr int kPhoneDownImage = 2014;
inline constexpr int kSlogan = 1008;
inline constexpr int kCommunityHint = 1010;
inline constexpr int kCommunityLabel = 1009;
inline constexpr int kCommunityLink = 1011;
inline constexpr int kChooseHeading = 1006;
inline constexpr int kPathBox = 2002;
inline constexpr int kBrowse = 2011;
inline constexpr int kVerifyHint = 1012;

// Status view, page 1.
inline constexpr int kPhoneUpImage = 2015;
inline constexpr int kVerifyHeading = 2005;
inline constexpr int kPrepareLine = 2006;
inline constexpr int kPreparePercent = 2007;
inline constexpr int kPrepareBar = 2003;
inline constexpr int kPatienceHint = 2027;
inline constexpr int kUpgradeHeading = 2008;
inline constexpr int kUpgradeLine = 2009;
inline constexpr int kUpgradePercent = 2010;
inline constexpr int kUpgradeBar = 2004;
inline constexpr int kConnectLink = 2028;
inline constexpr int kKeepConnectedHint = 2031;
inline constexpr int kTimeLeft = 2037; // right on the line under the upgrade bar

// Status view, page 2.
inline constexpr int kResultImage = 2016;
inline constexpr int kResultHeading = 2018;
inline constexpr int kRomVersion = 2019;
inline constexpr int kHelpFirst = 2032; // 2032 to 2036
inline constexpr int kHelpLast = 2036;
inline constexpr int kLogLink = 2040; // under the result: the run's log in the file manager
// Under the upgrade bar after a long wait for the phone: a heading and three hints.
inline constexpr int kNoPhoneHeading = 2041;
inline constexpr int kNoPhoneHintFirst = 2042; // 2042 to 2044
inline constexpr int kNoPhoneHintLast = 2044;

} // namespace ids

namespace timers {

inline constexpr unsigned kSlide = 910; // main window
inline constexpr unsigned kSlidePeriodMs = 20;
inline constexpr unsigned kVerifyProgress = 10001; // status view
inline constexpr unsigned kPrepareSpinner = 10004;
inline constexpr unsigned kUpgradeSpinner = 10006;
inline constexpr unsigned kSpinnerPeriodMs = 150;
inline constexpr unsigned kVerifyFirstPeriodMs = 1500;
inline constexpr unsigned kNoPhoneHints = 10008; // once, after the wait below
inline constexpr unsigned kNoPhoneHintsAfterMs = 30000;
inline constexpr unsigned kUsbSettle = 10009; // once, after the first USB change of a burst
inline constexpr unsigned kUsbSettleMs = 500;
inline constexpr unsigned kDriverHint = 10010; // once, after a device came without a driver
inline constexpr unsigned kDriverHintAfterMs = 10000;

} // namespace timers

namespace colours {

inline constexpr std::uint32_t kBlack = ColourOf(0x000000);
inline constexpr std::uint32_t kRed = ColourOf(0xFF0000);
inline constexpr std::uint32_t kBlue = ColourOf(0x0000FF);
inline constexpr std::uint32_t kRust = ColourOf(0xC45033);  // headings
inline constexpr std::uint32_t kMuted = ColourOf(0x646464); // the upgrade line before its turn
inline constexpr std::uint32_t kTeal = ColourOf(0x006464);  // active step
inline constexpr std::uint32_t kDarkGreen = ColourOf(0x006400);
inline constexpr std::uint32_t kButtonText = ColourOf(0x323232);
inline constexpr std::uint32_t kWhite = ColourOf(0xFFFFFF);
inline constexpr std::uint32_t kFrame = ColourOf(0xE6E6E6);

} // namespace colours

} // namespace tarnvel
