#include "platform/dpi.h"

namespace tarnvel {

namespace {

// GetProcAddress answers FARPROC whatever the function; the cast goes through a neutral pointer
// type so that the compiler does not warn about incompatible function types.
template <class Fn> Fn LookUp(HMODULE module, const char* name) noexcept {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                  : nullptr;
}

} // namespace

DpiFunctions DpiFunctions::FromSystem() noexcept {
    // user32 stays loaded for the process's life: no reference is taken or dropped.
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    DpiFunctions functions;
    functions.getDpiForWindow_ = LookUp<GetDpiForWindowFn>(user32, "GetDpiForWindow");
    functions.getSystemMetricsForDpi_ = LookUp<GetSystemMetricsForDpiFn>(user32, "GetSystemMetricsForDpi");
    functions.setDialogDpiChangeBehavior_ =
        LookUp<SetDialogDpiChangeBehaviorFn>(user32, "SetDialogDpiChangeBehavior");
    return functions;
}

int DpiFunctions::ForWindow(HWND window) const noexcept {
    if (getDpiForWindow_ && window) {
        if (const UINT dpi = getDpiForWindow_(window))
            return static_cast<int>(dpi);
    }
    return SystemDpi();
}

int DpiFunctions::SystemMetric(int index, int dpi) const noexcept {
    if (getSystemMetricsForDpi_)
        return getSystemMetricsForDpi_(index, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

void DpiFunctions::LeaveDialogLayoutToIt(HWND dialog) const noexcept {
    if (setDialogDpiChangeBehavior_)
        setDialogDpiChangeBehavior_(dialog, DDC_DISABLE_ALL, DDC_DISABLE_ALL);
}

int SystemDpi() noexcept {
    struct ScreenDc {
        HDC dc = GetDC(nullptr);
        ~ScreenDc() {
            if (dc)
                ReleaseDC(nullptr, dc);
        }
    } screen;
    const int dpi = screen.dc ? GetDeviceCaps(screen.dc, LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : 96;
}

} // namespace tarnvel
