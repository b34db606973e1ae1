#include "wizard/skin.h"

#include "wizard/wizard_ids.h"

namespace tarnvel {

HFONT CreateWizardFont(int dpi, const wchar_t* face, int height, int width, int weight, bool underline) {
    return CreateFontW(ScaleForDpi(height, dpi), ScaleForDpi(width, dpi), 0, 0, weight, FALSE, underline,
                       FALSE, GB2312_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

void SkinButton(CCustomButton& button, HWND backgroundSource, HBITMAP strip, bool textColours, int dpi) {
    button.backgroundSource = backgroundSource;
    button.strip = strip;
    button.frameCount = 3;
    button.frameNormal = 0;
    button.frameHover = 1;
    button.framePressed = 2;
    button.frameDisabled = 2;
    button.margins = ScaleForDpi(Margins{1, 1, 1, 1}, dpi);
    button.focusCueInset = ScaleForDpi(3, dpi);
    if (textColours) {
        button.textColourNormal = colours::kButtonText;
        button.textColourPressed = colours::kBlack;
        button.textColourHover = colours::kBlack;
    }
}

void SkinBar(CStripeProgress& bar, int trackPicture, int fillPicture, const BarSkin& skin, int dpi) {
    bar.trackImage.LoadForDpi(PictureIdsAtScales(trackPicture), dpi);
    bar.fillImage.LoadForDpi(PictureIdsAtScales(fillPicture), dpi);
    bar.stripeImage.LoadForDpi(PictureIdsAtScales(fillPicture), dpi);
    bar.skin = ScaleForDpi(skin, dpi);
}

} // namespace tarnvel
