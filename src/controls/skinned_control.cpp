#include "controls/skinned_control.h"

#include "controls/drawing.h"

#include <oleacc.h>

#include <algorithm>
#include <memory>

namespace tarnvel {

namespace {

struct ComRelease {
    void operator()(IUnknown* object) const noexcept { object->Release(); }
};

} // namespace

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
    case WM_GETOBJECT:
        return AnswerGetObject(wParam, lParam);
    case WM_SETTEXT: {
        // Here the window text is only the name: the platform Static would draw it at once itself.
        const LRESULT stored = DefWindowProcW(Handle(), message, wParam, lParam);
        if (stored)
            NotifyChange(EVENT_OBJECT_NAMECHANGE);
        return stored;
    }
    default:
        return DefaultProc(message, wParam, lParam);
    }
}

void SkinnedControl::Paint(HDC) {}

const wchar_t* SkinnedControl::AccessibleClass() const {
    return nullptr;
}

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

LRESULT SkinnedControl::AnswerGetObject(WPARAM wParam, LPARAM lParam) {
    // The object id travels in the low 32 bits only.
    const wchar_t* className = AccessibleClass();
    if (!className || static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT))
        return DefaultProc(WM_GETOBJECT, wParam, lParam);
    void* created = nullptr;
    if (FAILED(
            CreateStdAccessibleProxyW(Handle(), className, OBJID_CLIENT, __uuidof(IAccessible), &created)) ||
        !created)
        return 0;
    const std::unique_ptr<IAccessible, ComRelease> accessible(static_cast<IAccessible*>(created));
    // LresultFromObject takes its own reference; ours goes at the end of the scope.
    const LRESULT result = LresultFromObject(__uuidof(IAccessible), wParam, accessible.get());
    return result;
}

void SkinnedControl::NotifyChange(DWORD event) const {
    if (HWND hwnd = Handle())
        NotifyWinEvent(event, hwnd, OBJID_CLIENT, CHILDID_SELF);
}

LRESULT SkinnedControl::AnswerTextQuery(std::wstring_view text, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXTLENGTH)
        return static_cast<LRESULT>(text.size());
    auto* buffer = reinterpret_cast<wchar_t*>(lParam);
    if (!buffer || wParam == 0)
        return 0;
    const size_t copied = std::min(text.size(), static_cast<size_t>(wParam) - 1);
    std::copy_n(text.data(), copied, buffer);
    buffer[copied] = L'\0';
    return static_cast<LRESULT>(copied);
}

} // namespace tarnvel
