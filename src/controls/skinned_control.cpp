#include "controls/skinned_control.h"

#include "controls/drawing.h"

namespace tarnvel {

SkinnedControl::~SkinnedControl() {
    Destroy();
}

LRESULT SkinnedControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOVE:
    case WM_SIZE:
        NoteMoveOrSize(lParam);
        return 1;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        if (wParam) {
            Paint(reinterpret_cast<HDC>(wParam));
        } else {
            PaintDc paint(Handle());
            if (paint.Get())
                Paint(paint.Get());
        }
        return 0;
    default:
        return DefaultProc(message, wParam, lParam);
    }
}

void SkinnedControl::Paint(HDC) {}

void SkinnedControl::DropBackground() {
    backgroundBrush_.Reset();
}

void SkinnedControl::NoteMoveOrSize(LPARAM lParam) {
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(lastMoveOrSize_)) {
        lastMoveOrSize_ = lParam;
        DropBackground();
    }
}

void SkinnedControl::FillBackground(HDC dc, const RECT& rect) {
    if (!backgroundBrush_)
        backgroundBrush_.Reset(CaptureBackgroundBrush(Handle(), backgroundSource));
    if (backgroundBrush_)
        FillRect(dc, &rect, backgroundBrush_.Get());
}

void SkinnedControl::NoteUiState(WPARAM wParam) noexcept {
    if ((HIWORD(wParam) & UISF_HIDEFOCUS) == 0)
        return;
    if (LOWORD(wParam) == UIS_SET)
        focusCuesHidden_ = true;
    else if (LOWORD(wParam) == UIS_CLEAR)
        focusCuesHidden_ = false;
}

bool SkinnedControl::ShowsFocusCue() const {
    const HWND hwnd = Handle();
    return hwnd && GetFocus() == hwnd && !focusCuesHidden_;
}

} // namespace tarnvel
