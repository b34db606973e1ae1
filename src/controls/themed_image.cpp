#include "controls/themed_image.h"

#include "controls/drawing.h"
#include "controls/image_loader.h"
#include "controls/paint_helpers.h"

#include <commctrl.h>

namespace tarnvel {

WindowClass CThemedImageCtrl::RegisterWindowClass() {
    return RegisterSuperclass(L"CThemedImageCtrl", L"Static");
}

LRESULT CThemedImageCtrl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        backgroundSource = GetParent(Handle());
        InvalidateRect(Handle(), nullptr, TRUE);
        DefaultProc(message, wParam, lParam);
        return 0;
    default:
        return SkinnedControl::HandleMessage(message, wParam, lParam);
    }
}

void CThemedImageCtrl::SetPicture(HBITMAP picture) {
    HBITMAP copy =
        picture ? static_cast<HBITMAP>(CopyImage(picture, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)) : nullptr;
    picture_.Reset(copy);
    if (HWND hwnd = Handle())
        InvalidateRect(hwnd, nullptr, TRUE);
}

const wchar_t* CThemedImageCtrl::AccessibleClass() const {
    return WC_STATICW;
}

void CThemedImageCtrl::Paint(HDC dc) {
    RECT client{};
    GetClientRect(Handle(), &client);
    FillBackground(dc, client);
    if (!picture_)
        return;
    const SIZE size = BitmapSize(picture_.Get());
    MemoryDc source(dc);
    if (!source)
        return;
    SelectScope selection(source.Get(), picture_.Get());
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    GdiAlphaBlend(dc, 0, 0, client.right - client.left, client.bottom - client.top, source.Get(), 0, 0,
                  size.cx, size.cy, blend);
}

void ShowPictureIn(CThemedImageCtrl& control, HBITMAP picture) {
    control.SetPicture(picture);
    const SIZE size = BitmapSize(control.Picture());
    if (control.Handle() && control.Picture())
        SetClientSize(control.Handle(), size.cx, size.cy, true);
}

} // namespace tarnvel
