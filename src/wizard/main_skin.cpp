#include "wizard/main_skin.h"

#include "controls/drawing.h"
#include "controls/image_loader.h"
#include "platform/dpi.h"
#include "resources/picture_ids.h"
#include "resources/resource_ids.h"
#include "wizard/skin.h"
#include "wizard/wizard_ids.h"

#include <cwchar>

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
    LOGFONTW system{};
    if (GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(system), &system)) {
        if (const auto caption = CaptionFont(system, GetACP(), dpi, SystemDpi()))
            skin.caption.Reset(CreateFontIndirectW(&*caption));
    }
    skin.smallIcon.reset(
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIcon), IMAGE_ICON,
                                      smallIconSize, smallIconSize, LR_DEFAULTCOLOR)));
    return skin;
}

std::optional<LOGFONTW> CaptionFont(const LOGFONTW& systemFont, UINT ansiCodePage, int dpi, int systemDpi) {
    constexpr UINT kSimplifiedChinese = 936;
    if (ansiCodePage == kSimplifiedChinese && dpi == systemDpi)
        return std::nullopt;
    LOGFONTW caption = systemFont;
    caption.lfHeight = MulDiv(systemFont.lfHeight, dpi, systemDpi);
    caption.lfWidth = MulDiv(systemFont.lfWidth, dpi, systemDpi);
    if (ansiCodePage != kSimplifiedChinese) {
        caption.lfWidth = 0; // the system font's average width is not the wizard face's
        caption.lfCharSet = GB2312_CHARSET;
        caption.lfOutPrecision = OUT_DEFAULT_PRECIS;
        caption.lfQuality = DEFAULT_QUALITY;
        caption.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
        wcsncpy(caption.lfFaceName, kUiFace, LF_FACESIZE - 1);
        caption.lfFaceName[LF_FACESIZE - 1] = L'\0';
    }
    return caption;
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
