// The thin window base every skinned control and host window derives from: a noexcept static
// window procedure binds the object at WM_NCCREATE, unbinds it at WM_NCDESTROY, and hands every
// message in between to one virtual dispatch.
#pragma once

#include <windows.h>

namespace tarnvel {

// A registered window class and the procedure that handles what the class does not: the base
// control's procedure for a superclass, DefWindowProcW for a class of our own.
struct WindowClass {
    const wchar_t* name = nullptr;
    WNDPROC baseProc = DefWindowProcW;
};

// Registers name as a superclass of a platform control ("Static", "Button", "Edit"): the same class
// styles, extra bytes and cursor, with our window procedure. Call it once per class (a
// function-local static); registration failure leaves name null and the windows uncreatable.
WindowClass RegisterSuperclass(const wchar_t* name, const wchar_t* baseClassName);

// Registers a class of our own with the given class styles, background brush and cursor.
WindowClass RegisterOwnClass(const wchar_t* name, UINT classStyle, HBRUSH background, HCURSOR cursor);

class WindowBase {
public:
    // The classes call this accessor to register themselves on first use.
    using ClassAccessor = const WindowClass& (*)();

    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;

    // Virtual operations, in this order: dispatch, destructor, window procedure, after-last hook.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Destroys a window that still exists (on its own thread); messages sent while it goes down
    // get the base class's handling only, since the derived object is already gone.
    virtual ~WindowBase();
    virtual WNDPROC GetWindowProc() const;
    // Called after WM_NCDESTROY, once the object is unbound. Does nothing here.
    virtual void OnFinalMessage(HWND hwnd);

    // Creates the window of this object's class; the handle, or null on failure.
    HWND Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, DWORD exStyle = 0,
                UINT_PTR idOrMenu = 0);
    // Destroys the window if it exists.
    void Destroy();

    HWND Handle() const noexcept { return hwnd_; }
    explicit operator bool() const noexcept { return hwnd_ != nullptr; }

    // The procedure of every class registered here.
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    // The object bound to a window of one of our classes, or null.
    static WindowBase* FromHandle(HWND hwnd) noexcept;

protected:
    explicit WindowBase(ClassAccessor windowClass) noexcept : windowClass_(windowClass) {}

    // The handling of the class this one builds on (the platform control, or DefWindowProcW).
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

private:
    ClassAccessor windowClass_;
    WNDPROC baseProc_ = DefWindowProcW;
    HWND hwnd_ = nullptr; // owned while bound: destroyed by Destroy or the destructor
    bool destroying_ = false;
};

// The class of Derived, registered on first use by Derived::RegisterWindowClass().
template <class Derived> const WindowClass& ClassOf() {
    static const WindowClass cls = Derived::RegisterWindowClass();
    return cls;
}

// A window of class Derived, built on Base (WindowBase or one derived from it).
template <class Derived, class Base = WindowBase> class WindowOf : public Base {
public:
    static const WindowClass& Class() { return ClassOf<Derived>(); }

protected:
    WindowOf() noexcept : Base(&ClassOf<Derived>) {}
};

} // namespace tarnvel
