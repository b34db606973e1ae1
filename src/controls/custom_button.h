// CCustomButton: a push button that keeps the platform button's behaviour and replaces its
// drawing: its parent's background, one frame of a picture strip drawn as a nine-grid, and the
// caption centred on top. It draws through the custom-draw notification its parent reflects back.
#pragma once

#include "controls/drawing.h"
#include "controls/gdi_handles.h"
#include "controls/skinned_control.h"

#include <commctrl.h>

namespace tarnvel {

class CCustomButton final : public SkinnedControlOf<CCustomButton> {
public:
    static WindowClass RegisterWindowClass(); // superclass of "Button"

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Set by the owner (UI thread) with backgroundSource before the button is first drawn;
    // invalidate after a change.
    HBITMAP strip = nullptr; // not owned: the owner's strip of frames side by side
    Margins margins;         // nine-grid borders
    COLORREF textColourNormal = RGB(0, 0, 0);
    COLORREF textColourPressed = RGB(0, 0, 0);
    COLORREF textColourHover = RGB(0xFF, 0xFF, 0xFF);
    int frameNormal = 0;
    int framePressed = 0;
    int frameHover = 0;
    int frameDisabled = 0;
    int frameCount = 0;    // frames in the strip, 1 or more
    int focusCueInset = 3; // the focus cue's dotted frame inside the edge, within the picture's border
    // False for a button whose picture says it all: the caption is then only its name for screen
    // readers (WM_GETTEXT), never drawn.
    bool captionShown = true;

    // Caption colour and frame index for the custom-draw item state bits (selected 0x1, disabled
    // 0x4, hot 0x40).
    COLORREF CaptionColourFor(UINT itemState) const noexcept;
    int FrameFor(UINT itemState) const noexcept;

private:
    const wchar_t* AccessibleClass() const override; // a push button
    LRESULT HandleCustomDraw(const NMCUSTOMDRAW& draw, bool& handled);
    LRESULT DrawButton(HDC dc, const RECT& rect, UINT itemState);

    HFONT font_ = nullptr; // not owned
};

} // namespace tarnvel
