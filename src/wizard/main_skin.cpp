#include "wizard/main_skin.h"

#include "controls/drawing.h"
#include "controls/image_loader.h"
#include "platform/dpi.h"
#include "resources/picture_ids.h"
#include "resources/resource_ids.h"
#include "wizard/skin.h"
#include "wizard/wizard_ids.h"

namespace tarnvel {

MainSkin MainSkin::Load(int dpi, int smallIconSize) {
    MainSkin skin;
    skin.background = LoadPngPictureForDpi(PictureIdsAtScales(kPictureMainBackground), dpi);
    skin.logo = LoadPngPictureForDpi(PictureIdsAtScales(kPictureLogoBadge), dpi);
    skin.closeStrip = LoadPngPictureForDpi(PictureIdsAtScales(kPictureCloseButton), dpi);
    skin.backStrip = LoadPngPictureForDpi(PictureIdsAtScales(kPictureBackButton), dpi);
    skin.nextStrip = LoadPngPictureForDpi(PictureIdsAtScales(kPictureNextButton), dpi);
    skin.title.Reset(CreateWizardFont(dpi, kUiFace, 16, 8, FW_BOLD));
    skin.version.Reset(CreateWizardFont(dpi, kUiFace, 12, 6, FW_BOLD));
    if (const int systemDpi = SystemDpi(); dpi != systemDpi) {
        LOGFONTW system{};
        if (GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(system), &system)) {
            system.lfHeight = MulDiv(system.lfHeight, dpi, systemDpi);
            system.lfWidth = MulDiv(system.lfWidth, dpi, systemDpi);
            skin.caption.Reset(CreateFontIndirectW(&system));
        }
    }
    skin.smallIcon.reset(
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIcon), IMAGE_ICON,
                                      smallIconSize, smallIconSize, LR_DEFAULTCOLOR)));
    return skin;
}

void PaintMainWindow(HDC dc, const RECT& client, const MainSkin& skin, const WindowRegion& region, int dpi) {
    if (!dc || !skin.background)
        return;
    const SIZE size = BitmapSize(skin.background.Get());
    WindowDc screen(nullptr);
    MemoryDc memory(screen.Get());
    if (!memory)
        return;
    SelectScope picture(memory.Get(), skin.background.Get());
    const int saved = SaveDC(dc);
    SelectClipRgn(dc, region.Get());

    UniqueBrush white(CreateSolidBrush(colours::kWhite));
    FillRect(dc, &region.Box(), white.Get());
    DrawNineGrid(dc, client, memory.Get(), RECT{0, 0, size.cx, size.cy}, 255,
                 ScaleForDpi(Margins{1, 1, 1, 1}, dpi));

    UniqueRegion rounded = region.Rounded(ScaleForDpi(kMainLayout.frameRadius, dpi));
    UniqueBrush frame(CreateSolidBrush(colours::kFrame));
    const int frameWidth = ScaleForDpi(kMainLayout.frameWidth, dpi);
    FrameRgn(dc, rounded.Get(), frame.Get(), frameWidth, frameWidth);
    RestoreDC(dc, saved);
}

} // namespace tarnvel
