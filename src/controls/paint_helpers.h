// What every window that hosts skinned controls shares: the double-buffered painting protocol,
// notification reflection, and a client-size helper.
#pragma once

#include "controls/gdi_handles.h"

#include <windows.h>

#include <type_traits>
#include <utility>

namespace tarnvel {

// Notifications a host sends back to the child that raised them carry the message code raised by
// this value (OCM__BASE of the platform's OLE control headers).
inline constexpr UINT kReflectedMessageBase = 0x2000;

// One off-screen buffer over rect (client coordinates of the window being painted): drawing into
// Dc() uses client coordinates; the destructor copies the rectangle to the target and frees the
// buffer. Without memory (or an empty rectangle) Dc() is the target itself and nothing is copied.
class DoubleBuffer {
public:
    DoubleBuffer(HDC target, const RECT& rect) noexcept;
    ~DoubleBuffer();
    DoubleBuffer(const DoubleBuffer&) = delete;
    DoubleBuffer& operator=(const DoubleBuffer&) = delete;

    HDC Dc() const noexcept { return memory_ ? memory_ : target_; }

private:
    HDC target_;
    RECT rect_;
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

// Where a WM_PAINT or WM_PRINTCLIENT draws: into the context given in wParam, over the whole client
// area; for a WM_PAINT without one, into the window's own between BeginPaint and EndPaint, over the
// paint rectangle. paint(HDC dc, const RECT& area) draws; a WM_PRINTCLIENT without a context draws
// nothing.
template <typename Paint> void PaintOrPrint(HWND hwnd, UINT message, WPARAM wParam, Paint&& paint) {
    if (wParam) {
        RECT client{};
        GetClientRect(hwnd, &client);
        paint(reinterpret_cast<HDC>(wParam), client);
    } else if (message == WM_PAINT) {
        PaintDc own(hwnd);
        if (own.Get())
            paint(own.Get(), own.PaintRect());
    }
}

// The painting protocol of a double-buffered host: WM_ERASEBKGND is answered 1 without drawing;
// WM_PAINT without a context buffers the paint rectangle between BeginPaint and EndPaint; WM_PAINT
// with a context in wParam and WM_PRINTCLIENT buffer the whole client area onto that context.
// drawContent(HDC) draws the window's own content (not its children) in client coordinates.
// Returns true and sets result when the message was one of these.
bool HandleDoubleBufferedPaintRaw(HWND hwnd, UINT message, WPARAM wParam, LRESULT& result,
                                  void (*drawContent)(void* context, HDC dc), void* context);

template <typename DrawContent>
bool HandleDoubleBufferedPaint(HWND hwnd, UINT message, WPARAM wParam, LRESULT& result,
                               DrawContent&& drawContent) {
    using Fn = std::remove_reference_t<DrawContent>;
    return HandleDoubleBufferedPaintRaw(
        hwnd, message, wParam, result, [](void* context, HDC dc) { (*static_cast<Fn*>(context))(dc); },
        const_cast<void*>(static_cast<const void*>(&drawContent)));
}

// Where a notification goes back to: the child's handle as the message names it, or a control id
// to look up among the host's children, or nowhere.
struct ReflectionTarget {
    HWND child = nullptr;
    bool byControlId = false;
    int controlId = 0;
    bool Found() const noexcept { return child != nullptr || byControlId; }
};

// Reads the child that raised a command, notify, parent-notify, item-drawing, scroll or
// control-colour message from the message's own parameters; nothing for any other message and for
// commands from menus and accelerators (lParam 0).
ReflectionTarget FindReflectionTarget(UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// Sends a child's notification back to that child with the code raised by 0x2000 and the same
// parameters. True (and the child's answer in result) when a child of host received it; false
// when the message goes on to the host's default handling.
bool ReflectNotification(HWND host, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// Gives hwnd a client area of width x height without moving it; -1 keeps that dimension. A menu is
// counted only for a window that is not a child and has one. False when the window's client
// rectangle cannot be read or it cannot be sized.
bool SetClientSize(HWND hwnd, int width, int height, bool redraw);

} // namespace tarnvel
