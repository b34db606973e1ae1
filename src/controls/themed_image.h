// CThemedImageCtrl: a picture with per-pixel alpha blended over a copy of its parent's background.
#pragma once

#include "controls/gdi_handles.h"
#include "controls/window_base.h"

namespace tarnvel {

class CThemedImageCtrl final : public WindowBase {
public:
    CThemedImageCtrl() noexcept;
    ~CThemedImageCtrl() override;

    static const WindowClass& Class(); // superclass of "Static"

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Gives the control its own copy of picture (CopyImage with LR_CREATEDIBSECTION; the caller
    // keeps its bitmap) and invalidates it; the copy held before is deleted. Null removes it.
    void SetPicture(HBITMAP picture);
    HBITMAP Picture() const noexcept { return picture_.Get(); }

    // The window whose painting shows behind the picture; creation sets the parent. Not owned.
    HWND backgroundSource = nullptr;

private:
    void DrawImage(HDC dc);

    UniqueBrush backgroundBrush_;
    UniqueBitmap picture_;
    LPARAM lastMoveOrSize_ = 0;
};

// What the owners do after creating an image control: hand it a copy of picture and size its
// client area to the picture.
void ShowPictureIn(CThemedImageCtrl& control, HBITMAP picture);

} // namespace tarnvel
