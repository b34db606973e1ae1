// The screen's dots per inch for a window. The per-monitor functions came with Windows 10 (1607);
// they are looked up at run time, and where they are missing the program runs system-aware, at the
// dpi the system was started with.
#pragma once

#include <windows.h>

namespace tarnvel {

class DpiFunctions {
public:
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, DIALOG_DPI_CHANGE_BEHAVIORS,
                                                       DIALOG_DPI_CHANGE_BEHAVIORS);

    // The functions of this system's user32, those that it has.
    static DpiFunctions FromSystem() noexcept;
    // As on a system that has none of them.
    static DpiFunctions Missing() noexcept { return {}; }
    // With this function in place of the system's (tests: a monitor of another dpi).
    static DpiFunctions WithWindowDpi(GetDpiForWindowFn getDpiForWindow) noexcept {
        DpiFunctions functions;
        functions.getDpiForWindow_ = getDpiForWindow;
        return functions;
    }

    bool PerMonitor() const noexcept { return getDpiForWindow_ != nullptr; }

    // The window's dpi; the system's where there is no per-monitor answer (or no window yet).
    int ForWindow(HWND window) const noexcept;
    // A system metric (SM_CXSMICON, ...) at dpi; without the per-monitor function, the system's
    // value scaled from the system's dpi.
    int SystemMetric(int index, int dpi) const noexcept;
    // Tells the dialog manager to leave a dialog's size and controls alone on a dpi change: the
    // dialog lays itself out. Nothing where the function is missing.
    void LeaveDialogLayoutToIt(HWND dialog) const noexcept;

private:
    GetDpiForWindowFn getDpiForWindow_ = nullptr;
    GetSystemMetricsForDpiFn getSystemMetricsForDpi_ = nullptr;
    SetDialogDpiChangeBehaviorFn setDialogDpiChangeBehavior_ = nullptr;
};

// The dpi of the screen as the system started (LOGPIXELSY of the screen), 96 if it cannot be read.
int SystemDpi() noexcept;

} // namespace tarnvel
