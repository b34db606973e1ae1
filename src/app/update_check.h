// Gives the maker's updater library its chance to take over before any window is shown.
#pragma once

namespace tarnvel {

inline constexpr wchar_t kUpdaterLibrary[] = L"Renewkit.dll";
inline constexpr wchar_t kUpdaterProduct[] = L"Tarnvel Download Assistant Setup V1.89_141212";

// True when the updater has taken over and the program must quit without a window.
bool RunUpdateCheck();

} // namespace tarnvel
