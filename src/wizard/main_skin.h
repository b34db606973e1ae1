// The main window's layout at 96 dpi, and its pictures and fonts for one dpi, loaded together so
// that after a dpi change the windows take the new ones before the old ones go.
#pragma once

#include "controls/gdi_handles.h"
#include "wizard/window_region.h"

#include <windows.h>

#include <optional>

#include <memory>
#include <type_traits>

namespace tarnvel {

// Places in the client area and sizes at 96 dpi; pageContent is the page strip's place in the
// page container, which shows one page of it at a time.
struct MainLayout {
    RECT stepView, pageContainer, pageContent;
    RECT logo, title, version, close, back, next; // logo: its picture's size
    int shadowSize, shadowInset, shadowRadius, frameRadius, frameWidth;
};
inline constexpr MainLayout kMainLayout{.stepView = {2, 60, 718, 103},
                                        .pageContainer = {2, 104, 718, 438},
                                        .pageContent = {0, 0, 2880, 334},
                                        .logo = {17, 12, 17, 12},
                                        .title = {60, 24, 500, 40},
                                        .version = {60, 42, 500, 55},
                                        .close = {658, 0, 718, 60},
                                        .back = {350, 450, 490, 492},
                                        .next = {530, 450, 670, 492},
                                        .shadowSize = 15,
                                        .shadowInset = 5,
                                        .shadowRadius = 10,
                                        .frameRadius = 15,
                                        .frameWidth = 2};

struct IconDeleter {
    void operator()(HICON icon) const noexcept { DestroyIcon(icon); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

struct MainSkin {
    UniqueBitmap background;
    UniqueBitmap logo;
    UniqueBitmap closeStrip;
    UniqueBitmap backStrip;
    UniqueBitmap nextStrip;
    UniqueFont title;   // 16 bold
    UniqueFont version; // 12 bold
    // The buttons' captions (CaptionFont): null where the DC's default font serves.
    UniqueFont caption;
    UniqueIcon smallIcon;

    static MainSkin Load(int dpi, int smallIconSize);
};

// The buttons' captions are drawn in the system font that the DC has by default. It is made for
// the system's dpi, so at another dpi it is scaled; and it draws Chinese only where the system's
// code page is Chinese (936), so elsewhere the wizard's face takes its place at its size. Nothing
// where the default font serves as it is.
std::optional<LOGFONTW> CaptionFont(const LOGFONTW& systemFont, UINT ansiCodePage, int dpi, int systemDpi);

// The window's background as a nine-grid over its client area, inside its outline, and the
// outline's rounded frame.
void PaintMainWindow(HDC dc, const RECT& client, const MainSkin& skin, const WindowRegion& region, int dpi);

} // namespace tarnvel
