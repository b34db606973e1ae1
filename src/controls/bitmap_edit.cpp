#include "controls/bitmap_edit.h"

#include "controls/drawing.h"
#include "controls/image_loader.h"
#include "controls/paint_helpers.h"

namespace tarnvel {

namespace {

// The host paints under the edit (it does not clip its children): the edit is redrawn after it.
void RedrawHostAndEdit(HWND host) {
    RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

} // namespace

WindowClass CBitmapEdit::RegisterWindowClass() {
    return RegisterOwnClass(L"CBitmapEdit", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
                            reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)),
                            LoadCursorW(nullptr, IDC_ARROW));
}

LRESULT CBitmapEdit::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = Handle();
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_COMPOSITED);
        edit_ = CreateWindowExW(0, L"EDIT", L"", editStyle, 0, 0, 0, 0, hwnd,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(editId)),
                                GetModuleHandleW(nullptr), nullptr);
        return DefaultProc(message, wParam, lParam);
    case WM_ERASEBKGND:
        return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        if (edit_ && reinterpret_cast<HWND>(lParam) == edit_)
            return reinterpret_cast<LRESULT>(EditColours(reinterpret_cast<HDC>(wParam)));
        return DefaultProc(message, wParam, lParam);
    case WM_COMMAND:
        if (edit_ && reinterpret_cast<HWND>(lParam) == edit_ && LOWORD(wParam) == editId) {
            switch (HIWORD(wParam)) {
            case EN_SETFOCUS:
                FocusChanged(true);
                return 0;
            case EN_KILLFOCUS:
                FocusChanged(false);
                return 0;
            case EN_CHANGE:
                RedrawHostAndEdit(hwnd);
                break;
            default:
                break;
            }
        }
        return DefaultProc(message, wParam, lParam);
    default:
        if (message >= kReflectedMessageBase && message < kReflectedMessageBase + WM_USER)
            return DefaultProc(message - kReflectedMessageBase, wParam, lParam);
        return SkinnedControl::HandleMessage(message, wParam, lParam);
    }
}

void CBitmapEdit::SetPictures(HBITMAP first, HBITMAP second) {
    firstPicture_.Reset(first);
    secondPicture_.Reset(second);
    currentPicture_ = focused_ ? secondPicture_.Get() : firstPicture_.Get();
    if (HWND hwnd = Handle())
        RedrawHostAndEdit(hwnd);
}

std::wstring CBitmapEdit::GetText() const {
    if (!edit_)
        return std::wstring();
    const int length = GetWindowTextLengthW(edit_);
    if (length <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(edit_, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

void CBitmapEdit::Paint(HDC dc) {
    if (!IsWindowVisible(backgroundSource))
        return;
    RECT client{};
    GetClientRect(Handle(), &client);
    FillBackground(dc, client);

    currentPicture_ = focused_ ? secondPicture_.Get() : firstPicture_.Get();
    if (currentPicture_) {
        const SIZE size = BitmapSize(currentPicture_);
        DrawNineGrid(dc, client, currentPicture_, RECT{0, 0, size.cx, size.cy}, 255, pictureBorders);
    }
    if (edit_) {
        const int x = client.left + textMargins.left;
        const int y = client.top + textMargins.top;
        MoveWindow(edit_, x, y, client.right - textMargins.right - x, client.bottom - textMargins.bottom - y,
                   TRUE);
        ShowWindow(edit_, SW_SHOW);
    }
}

void CBitmapEdit::DropBackground() {
    SkinnedControl::DropBackground();
    editBrush_.Reset();
}

HBRUSH CBitmapEdit::EditColours(HDC dc) {
    SetTextColor(dc, textColour);
    SetBkMode(dc, TRANSPARENT);
    if (!editBrush_)
        editBrush_.Reset(CaptureBackgroundBrush(edit_, Handle()));
    return editBrush_ ? editBrush_.Get() : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

void CBitmapEdit::FocusChanged(bool focused) {
    // The edit copies the host again: the host is about to show its other picture.
    editBrush_.Reset();
    if (focused_ != focused) {
        focused_ = focused;
        if (firstPicture_) {
            const SIZE size = BitmapSize(firstPicture_.Get());
            SetClientSize(Handle(), size.cx, size.cy, true);
        }
    }
    RedrawHostAndEdit(Handle());
}

} // namespace tarnvel
