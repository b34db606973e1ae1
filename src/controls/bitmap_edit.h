// CBitmapEdit: a one-line text box drawn on a picture. A host window paints the picture over its
// parent's background and keeps a platform edit inside it, whose own background is a copy of the
// host's picture; a second picture shows while the edit has the focus.
#pragma once

#include "controls/gdi_handles.h"
#include "controls/geometry.h"
#include "controls/skinned_control.h"

#include <string>

namespace tarnvel {

class CBitmapEdit final : public SkinnedControlOf<CBitmapEdit> {
public:
    static WindowClass RegisterWindowClass(); // a class of its own

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Take ownership of the pictures (unfocused, focused); a different picture held before is
    // deleted. Then size the host with SetClientSize to the first picture.
    void SetPictures(HBITMAP first, HBITMAP second);
    HBITMAP FirstPicture() const noexcept { return firstPicture_.Get(); }
    HBITMAP SecondPicture() const noexcept { return secondPicture_.Get(); }

    // The edit's current text, whole; empty when it holds none. Writers use SetWindowTextW(Edit()).
    std::wstring GetText() const;
    HWND Edit() const noexcept { return edit_; }
    bool IsFocused() const noexcept { return focused_; }

    // Set by the owner (UI thread): editId and backgroundSource before creation, the rest after;
    // invalidate the host after a change. The font goes to Edit() with WM_SETFONT.
    UINT editId = 0;
    DWORD editStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP | ES_AUTOHSCROLL;
    COLORREF textColour = RGB(0xFF, 0xFF, 0xFF);
    Margins textMargins{1, 1, 1, 1};
    Margins pictureBorders{1, 1, 1, 1}; // the pictures' nine-grid borders

private:
    void Paint(HDC dc) override;
    void DropBackground() override;
    HBRUSH EditColours(HDC dc);
    void FocusChanged(bool focused);

    HWND edit_ = nullptr; // a child of the host, destroyed with it
    UniqueBitmap firstPicture_;
    UniqueBitmap secondPicture_;
    HBITMAP currentPicture_ = nullptr; // one of the two above
    UniqueBrush editBrush_;            // the host behind the edit
    bool focused_ = false;
};

} // namespace tarnvel
