#include "controls/window_base.h"

namespace tarnvel {

namespace {

HINSTANCE ThisModule() {
    return GetModuleHandleW(nullptr);
}

} // namespace

WindowClass RegisterSuperclass(const wchar_t* name, const wchar_t* baseClassName) {
    WNDCLASSEXW base{};
    base.cbSize = sizeof(base);
    if (!GetClassInfoExW(nullptr, baseClassName, &base))
        return WindowClass{nullptr, DefWindowProcW};
    WindowClass result{name, base.lpfnWndProc};
    WNDCLASSEXW cls = base;
    cls.lpfnWndProc = &WindowBase::StaticWindowProc;
    cls.hInstance = ThisModule();
    cls.lpszClassName = name;
    cls.lpszMenuName = nullptr;
    if (!RegisterClassExW(&cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        result.name = nullptr;
    return result;
}

WindowClass RegisterOwnClass(const wchar_t* name, UINT classStyle, HBRUSH background, HCURSOR cursor) {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof(cls);
    cls.style = classStyle;
    cls.lpfnWndProc = &WindowBase::StaticWindowProc;
    cls.hInstance = ThisModule();
    cls.hCursor = cursor;
    cls.hbrBackground = background;
    cls.lpszClassName = name;
    if (!RegisterClassExW(&cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return WindowClass{nullptr, DefWindowProcW};
    return WindowClass{name, DefWindowProcW};
}

WindowBase::~WindowBase() {
    if (hwnd_) {
        // The derived object is gone: what arrives now gets the base class's handling only.
        destroying_ = true;
        DestroyWindow(hwnd_);
    }
}

LRESULT WindowBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultProc(message, wParam, lParam);
}

WNDPROC WindowBase::GetWindowProc() const {
    return &StaticWindowProc;
}

void WindowBase::OnFinalMessage(HWND) {}

HWND WindowBase::Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, DWORD exStyle,
                        UINT_PTR idOrMenu) {
    if (hwnd_)
        return nullptr;
    const WindowClass& cls = windowClass_();
    if (!cls.name)
        return nullptr;
    baseProc_ = cls.baseProc;
    return CreateWindowExW(exStyle, cls.name, text ? text : L"", style, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, parent,
                           reinterpret_cast<HMENU>(idOrMenu), ThisModule(), this);
}

void WindowBase::Destroy() {
    if (hwnd_)
        DestroyWindow(hwnd_);
}

WindowBase* WindowBase::FromHandle(HWND hwnd) noexcept {
    if (!hwnd)
        return nullptr;
    WNDPROC proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    if (proc != &StaticWindowProc)
        return nullptr;
    return reinterpret_cast<WindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT WindowBase::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(baseProc_, hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK WindowBase::StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam) noexcept {
    auto* self = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE && !self) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        self = static_cast<WindowBase*>(create->lpCreateParams);
        if (self) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);

    LRESULT result = 0;
    try {
        result = self->destroying_ ? self->DefaultProc(message, wParam, lParam)
                                   : self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        // No exception may cross into the window manager; the message counts as handled.
        result = 0;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        if (!self->destroying_)
            self->OnFinalMessage(hwnd);
    }
    return result;
}

} // namespace tarnvel
