// What the wizard's windows share in building their skinned children: the fonts, the labels' text
// format, the bars' numbers, the pictures at each scale and the set-up of the custom buttons.
#pragma once

#include "controls/custom_button.h"
#include "controls/image_loader.h"
#include "controls/stripe_progress.h"
#include "resources/picture_ids.h"

#include <windows.h>

#include <cstddef>

namespace tarnvel {

// 微软雅黑 by the family name that every Windows language resolves, not only a Chinese one.
inline constexpr wchar_t kUiFace[] = L"Microsoft YaHei";

// How the wizard's labels draw their text.
inline constexpr UINT kLabelFormat = DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS; // 0x8804

// The skin's bars: the status view's, and the step indicator's with wider stripes.
inline constexpr BarSkin kStatusBarSkin{
    .inset = 0, .extraWidth = 0, .fillCap = 0, .stripeStep = 5, .trackCap = 10};
inline constexpr BarSkin kStepBarSkin{
    .inset = 0, .extraWidth = 0, .fillCap = 0, .stripeStep = 25, .trackCap = 10};

// An embedded picture's ids at each of the scales the loader chooses among (kPictureScales).
constexpr ScaledPictureIds PictureIdsAtScales(int pictureId) {
    ScaledPictureIds ids{};
    for (std::size_t i = 0; i < ids.size(); ++i)
        ids[i] = ScaledPictureId(pictureId, kPictureScales[i]);
    return ids;
}

// The Simplified Chinese character set (so that a face without Chinese glyphs falls back to a
// Simplified font, not a Traditional one), character output and clipping precision, default
// quality and pitch; height and width as at 96 dpi, scaled to dpi.
HFONT CreateWizardFont(int dpi, const wchar_t* face, int height, int width, int weight,
                       bool underline = false);

// Three frames of the strip (normal, hover, pressed; pressed again when disabled) drawn as a
// nine-grid with 1-pixel borders (at 96 dpi) over the background source. The strip stays the
// caller's. With textColours the caption is #323232, and black when hovered or pressed.
void SkinButton(CCustomButton& button, HWND backgroundSource, HBITMAP strip, bool textColours, int dpi);

// The track and fill pictures at dpi (the fill serves as the stripes too) and the skin's numbers
// scaled; the bar is composed with them at its next SetPercent.
void SkinBar(CStripeProgress& bar, int trackPicture, int fillPicture, const BarSkin& skin, int dpi);

} // namespace tarnvel
