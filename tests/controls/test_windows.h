// Windows and canvases the control tests draw with.
#pragma once

#include "controls/paint_helpers.h"
#include "controls/window_base.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace tarnvel::testing {

// Handles every message waiting for this thread.
void Pump();
// Pumps until done() or the time is up; true when done() held.
template <typename Done> bool PumpUntil(Done done, DWORD milliseconds = 5000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        Pump();
        Sleep(5);
    }
    return true;
}

// The header of a 32-bit bitmap whose rows run from the top down.
BITMAPINFO TopDownBitmapInfo(int width, int height);

// A 32-bit top-down memory canvas.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill = RGB(0xFF, 0x00, 0xFF));
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC Dc() const { return dc_; }
    COLORREF At(int x, int y) const;
    std::uint8_t AlphaAt(int x, int y) const;
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t* bits_ = nullptr;
};

// What a window paints into a given context (WM_PRINTCLIENT), the size of its client area.
struct Printed {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};
Printed PrintClient(HWND hwnd);

bool Near(COLORREF a, COLORREF b, int tolerance = 8);

// A copy of the screen, or of a part of it, read through the desktop's device context: what the
// compositor shows, other windows included.
class Screenshot {
public:
    Screenshot() : Screenshot(RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}) {}
    explicit Screenshot(const RECT& part);

    // Colour at a place relative to the part's top left; CLR_INVALID outside it.
    COLORREF At(int x, int y) const;
    bool SavePng(const wchar_t* path) const;

private:
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

// Every window inside parent, children and theirs, in EnumChildWindows' order.
std::vector<HWND> Descendants(HWND parent);

// A host window like the program's: its own colour painted double-buffered, children's
// notifications reflected. Top-level pop-up (visible) or child.
class TestHost final : public WindowBase {
public:
    explicit TestHost(COLORREF colour) noexcept : WindowBase(&TestHost::Class), colour(colour) {}
    ~TestHost() override { Destroy(); }
    static const WindowClass& Class();
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    HWND CreatePopup(int x, int y, int width, int height);
    HWND CreateChild(HWND parent, int x, int y, int width, int height, int id);

    COLORREF colour;
    int printClientCalls = 0;
};

// Records the messages it receives and answers each with a chosen result.
class Recorder final : public WindowBase {
public:
    Recorder() noexcept : WindowBase(&Recorder::Class) {}
    ~Recorder() override { Destroy(); }
    static const WindowClass& Class();
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    struct Received {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Received> received;
    LRESULT answer = 0;
    bool throwOnUser = false;
};

} // namespace tarnvel::testing
