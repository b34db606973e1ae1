#include "controls/themed_label.h"

#include "controls/drawing.h"
#include "platform/shell_open.h"

#include <commctrl.h>
#include <objbase.h>
#include <oleacc.h>
#include <shellapi.h>

#include <algorithm>
#include <thread>

namespace tarnvel {

namespace {

bool IsActivationKey(const MSG& msg) {
    return (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_SPACE)) ||
           (msg.message == WM_CHAR && (msg.wParam == L'\r' || msg.wParam == L' '));
}

// Where DrawTextW puts text of this size in client under format's alignment.
RECT TextBounds(const RECT& client, SIZE text, UINT format) {
    RECT bounds{client.left, client.top, client.left + text.cx, client.top + text.cy};
    const int spareX = (client.right - client.left) - text.cx;
    if (format & DT_RIGHT)
        OffsetRect(&bounds, spareX, 0);
    else if (format & DT_CENTER)
        OffsetRect(&bounds, spareX / 2, 0);
    if ((format & DT_SINGLELINE) && (format & DT_VCENTER))
        OffsetRect(&bounds, 0, ((client.bottom - client.top) - text.cy) / 2);
    return bounds;
}

} // namespace

WindowClass CThemedLabelCtrl::RegisterWindowClass() {
    return RegisterSuperclass(L"CThemedLabelCtrl", L"Static");
}

LRESULT CThemedLabelCtrl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        HWND parent = GetParent(Handle());
        backgroundSource = parent;
        textFormat.store(DT_NOPREFIX);
        font_ = parent ? reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0)) : nullptr;
        textColour.store(RGB(0, 0, 0));
        {
            std::lock_guard guard(textLock_);
            link_ = false;
        }
        DefaultProc(message, wParam, lParam);
        return 0;
    }
    case WM_MOVE:
        return DefaultProc(message, wParam, lParam);
    case WM_SIZE:
        NoteMoveOrSize(lParam);
        return 0;
    case WM_SETCURSOR:
        if (IsLink())
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return 0;
    case WM_SETFONT:
        font_ = reinterpret_cast<HFONT>(wParam);
        InvalidateRect(Handle(), nullptr, TRUE);
        DefaultProc(message, wParam, lParam);
        return 0;
    case WM_LBUTTONDOWN:
        OpenLink();
        return 0;
    case WM_GETDLGCODE: {
        // A link takes Enter and Space itself, as a link control does; the rest is the dialog's.
        LRESULT code = DefaultProc(message, wParam, lParam);
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg && IsLink() && IsActivationKey(*msg))
            code |= DLGC_WANTMESSAGE;
        return code;
    }
    case WM_KEYDOWN:
        // Bit 30: the key was down before, a repeat does not open the address again.
        if (IsLink() && (wParam == VK_RETURN || wParam == VK_SPACE) && (lParam & (1 << 30)) == 0) {
            OpenLink();
            return 0;
        }
        return DefaultProc(message, wParam, lParam);
    case WM_UPDATEUISTATE:
        NoteUiState(wParam);
        [[fallthrough]];
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        if (IsLink())
            InvalidateRect(Handle(), nullptr, TRUE);
        return result;
    }
    case WM_SETTEXT:
        SetText(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
        return TRUE;
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
        // The text lives in text_, which other threads may replace; the window text stays empty.
        return AnswerTextQuery(Text(), message, wParam, lParam);
    default:
        return SkinnedControl::HandleMessage(message, wParam, lParam);
    }
}

void CThemedLabelCtrl::SetText(std::wstring text) {
    bool changed = false;
    {
        std::lock_guard guard(textLock_);
        changed = text != text_;
        text_.swap(text);
    }
    // The old text is freed here, outside the lock; the redraw happens on the label's own thread.
    if (HWND hwnd = Handle()) {
        InvalidateRect(hwnd, nullptr, TRUE);
        if (changed)
            NotifyChange(EVENT_OBJECT_NAMECHANGE);
    }
}

std::wstring CThemedLabelCtrl::Text() const {
    std::lock_guard guard(textLock_);
    return text_;
}

void CThemedLabelCtrl::SetLink(bool link, std::wstring address, std::wstring parameters) {
    std::lock_guard guard(textLock_);
    link_ = link;
    address_ = std::move(address);
    parameters_ = std::move(parameters);
}

bool CThemedLabelCtrl::IsLink() const {
    std::lock_guard guard(textLock_);
    return link_;
}

std::pair<std::wstring, std::wstring> CThemedLabelCtrl::LinkTarget() const {
    std::lock_guard guard(textLock_);
    return {address_, parameters_};
}

const wchar_t* CThemedLabelCtrl::AccessibleClass() const {
    return WC_STATICW;
}

long CThemedLabelCtrl::AccessibleRole() const {
    // oleacc has no proxy for SysLink (the platform link answers for itself): static text, told a link.
    return IsLink() ? ROLE_SYSTEM_LINK : 0;
}

void CThemedLabelCtrl::Paint(HDC dc) {
    RECT client{};
    GetClientRect(Handle(), &client);
    FillBackground(dc, client);

    const std::wstring text = Text();
    SelectScope font(dc, font_);
    const int previousMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF previousColour = SetTextColor(dc, textColour.load());
    const UINT format = textFormat.load();
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, format);
    SetTextColor(dc, previousColour);
    SetBkMode(dc, previousMode);

    if (IsLink() && ShowsFocusCue()) {
        RECT measured = client;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measured, format | DT_CALCRECT);
        const SIZE size{std::min(measured.right - measured.left, client.right - client.left),
                        measured.bottom - measured.top};
        RECT cue = TextBounds(client, size, format);
        InflateRect(&cue, 1, 1);
        IntersectRect(&cue, &cue, &client);
        DrawDottedFrame(dc, cue, textColour.load());
    }
}

void CThemedLabelCtrl::OpenLink() {
    std::wstring address;
    std::wstring parameters;
    {
        std::lock_guard guard(textLock_);
        if (!link_ || address_.empty())
            return;
        address = address_;
        parameters = parameters_;
    }
    // The shell may take its time (or show a dialog): the window never waits for it. The thread
    // carries its own copy of the address, so the label may go away meanwhile.
    try {
        std::thread([address = std::move(address), parameters = std::move(parameters)] {
            const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
            OpenForUser(address, parameters);
            if (SUCCEEDED(com))
                CoUninitialize();
        }).detach();
    } catch (const std::system_error&) {
        // No thread, no link opened; the window goes on.
    }
}

void SetLabelColour(CThemedLabelCtrl& label, COLORREF colour) {
    label.textColour.store(colour);
    if (HWND hwnd = label.Handle())
        InvalidateRect(hwnd, nullptr, TRUE);
}

} // namespace tarnvel
