// Numeric ids of the embedded resources; shared by the .rc files and the code.
#pragma once

#define IDI_APP_ICON 128
#define IDD_MAIN_DIALOG 129

#ifdef __cplusplus
namespace tarnvel {
inline constexpr int kAppIcon = IDI_APP_ICON;
inline constexpr int kMainDialogTemplate = IDD_MAIN_DIALOG;
} // namespace tarnvel
#endif
