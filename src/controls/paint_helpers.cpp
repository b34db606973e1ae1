#include "controls/paint_helpers.h"

namespace tarnvel {

DoubleBuffer::DoubleBuffer(HDC target, const RECT& rect) noexcept : target_(target), rect_(rect) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (!target || width <= 0 || height <= 0)
        return;
    memory_ = CreateCompatibleDC(target);
    if (!memory_)
        return;
    bitmap_ = CreateCompatibleBitmap(target, width, height);
    if (!bitmap_) {
        DeleteDC(memory_);
        memory_ = nullptr;
        return;
    }
    previous_ = SelectObject(memory_, bitmap_);
    SetViewportOrgEx(memory_, -rect.left, -rect.top, nullptr);
}

DoubleBuffer::~DoubleBuffer() {
    if (!memory_)
        return;
    BitBlt(target_, rect_.left, rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top, memory_,
           rect_.left, rect_.top, SRCCOPY);
    SelectObject(memory_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(memory_);
}

bool HandleDoubleBufferedPaintRaw(HWND hwnd, UINT message, WPARAM wParam, LRESULT& result,
                                  void (*drawContent)(void* context, HDC dc), void* context) {
    switch (message) {
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        PaintOrPrint(hwnd, message, wParam, [&](HDC dc, const RECT& area) {
            DoubleBuffer buffer(dc, area);
            drawContent(context, buffer.Dc());
        });
        result = 0;
        return true;
    default:
        return false;
    }
}

namespace {

// The control an owner-drawn item's message is about; null when the message comes from a menu.
template <typename Item> HWND ItemWindow(WPARAM wParam, LPARAM lParam) {
    return wParam && lParam ? reinterpret_cast<const Item*>(lParam)->hwndItem : nullptr;
}

} // namespace

ReflectionTarget FindReflectionTarget(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    ReflectionTarget target;
    switch (message) {
    case WM_COMMAND:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        target.child = reinterpret_cast<HWND>(lParam);
        break;
    case WM_NOTIFY:
        if (lParam)
            target.child = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
        break;
    case WM_PARENTNOTIFY:
        switch (LOWORD(wParam)) {
        case WM_CREATE:
        case WM_DESTROY:
            target.child = reinterpret_cast<HWND>(lParam);
            break;
        default:
            target.byControlId = true;
            target.controlId = HIWORD(wParam);
            break;
        }
        break;
    case WM_DRAWITEM:
        target.child = ItemWindow<DRAWITEMSTRUCT>(wParam, lParam);
        break;
    case WM_COMPAREITEM:
        target.child = ItemWindow<COMPAREITEMSTRUCT>(wParam, lParam);
        break;
    case WM_DELETEITEM:
        target.child = ItemWindow<DELETEITEMSTRUCT>(wParam, lParam);
        break;
    case WM_MEASUREITEM:
        if (wParam && lParam) {
            target.byControlId = true;
            target.controlId = static_cast<int>(reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->CtlID);
        }
        break;
    default:
        break;
    }
    return target;
}

bool ReflectNotification(HWND host, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const ReflectionTarget target = FindReflectionTarget(message, wParam, lParam);
    HWND child = target.byControlId ? GetDlgItem(host, target.controlId) : target.child;
    if (!child || child == host || !IsWindow(child))
        return false;
    result = SendMessageW(child, message + kReflectedMessageBase, wParam, lParam);
    return true;
}

bool SetClientSize(HWND hwnd, int width, int height, bool redraw) {
    RECT rect{};
    if (!GetClientRect(hwnd, &rect))
        return false;
    if (width != -1)
        rect.right = width;
    if (height != -1)
        rect.bottom = height;
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    const BOOL hasMenu = !(style & WS_CHILD) && GetMenu(hwnd) != nullptr;
    AdjustWindowRectEx(&rect, style, hasMenu, exStyle);
    UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    if (!redraw)
        flags |= SWP_NOREDRAW;
    return SetWindowPos(hwnd, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top, flags) != FALSE;
}

} // namespace tarnvel
