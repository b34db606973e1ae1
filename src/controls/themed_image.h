// CThemedImageCtrl: a picture with per-pixel alpha blended over a copy of its parent's background.
#pragma once

#include "controls/gdi_handles.h"
#include "controls/skinned_control.h"

namespace tarnvel {

class CThemedImageCtrl final : public SkinnedControlOf<CThemedImageCtrl> {
public:
    static WindowClass RegisterWindowClass(); // superclass of "Static"

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Gives the control its own copy of picture (CopyImage with LR_CREATEDIBSECTION; the caller
    // keeps its bitmap) and invalidates it; the copy held before is deleted. Null removes it.
    void SetPicture(HBITMAP picture);
    HBITMAP Picture() const noexcept { return picture_.Get(); }

    // Creation sets backgroundSource to the parent. The window text (the text given to Create, or
    // SetWindowTextW) is a short description for screen readers; it is never drawn.

private:
    void Paint(HDC dc) override;
    const wchar_t* AccessibleClass() const override; // static, named by its description

    UniqueBitmap picture_;
};

// What the owners do after creating an image control: hand it a copy of picture and size its
// client area to the picture.
void ShowPictureIn(CThemedImageCtrl& control, HBITMAP picture);

} // namespace tarnvel
