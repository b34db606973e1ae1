#include "test_windows.h"

#include "controls/gdiplus_include.h"
#include "controls/image_loader.h"

#include <cstdlib>
#include <stdexcept>

namespace tarnvel::testing {

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

BITMAPINFO TopDownBitmapInfo(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // negative: the first row is the top one
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

Screenshot::Screenshot(const RECT& part)
    : left_(part.left), top_(part.top), width_(part.right - part.left), height_(part.bottom - part.top) {
    if (width_ <= 0 || height_ <= 0)
        return;
    BITMAPINFO info = TopDownBitmapInfo(width_, height_);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width_, height_, screen, left_, top_, SRCCOPY);
    GdiFlush();
    const auto* source = static_cast<const std::uint32_t*>(bits);
    pixels_.assign(source, source + static_cast<size_t>(width_) * height_);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

COLORREF Screenshot::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return CLR_INVALID;
    const std::uint32_t v = pixels_[static_cast<size_t>(y * width_ + x)];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

bool Screenshot::SavePng(const wchar_t* path) const {
    if (pixels_.empty())
        return false;
    EnsureGdiplusStarted();
    Gdiplus::Bitmap bitmap(width_, height_, width_ * 4, PixelFormat32bppRGB,
                           reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(pixels_.data())));
    const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    return bitmap.Save(path, &png, nullptr) == Gdiplus::Ok;
}

Canvas::Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info = TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<std::uint32_t*>(bits);
    previous_ = SelectObject(dc_, bitmap_);
    const std::uint32_t value = (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill);
    for (int i = 0; i < width * height; ++i)
        bits_[i] = value;
}

Canvas::~Canvas() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

COLORREF Canvas::At(int x, int y) const {
    GdiFlush();
    const std::uint32_t v = bits_[y * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

std::uint8_t Canvas::AlphaAt(int x, int y) const {
    GdiFlush();
    return static_cast<std::uint8_t>(bits_[y * width_ + x] >> 24);
}

Printed PrintClient(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    Printed printed;
    printed.width = client.right;
    printed.height = client.bottom;
    Canvas canvas(printed.width, printed.height);
    SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    printed.pixels.reserve(static_cast<size_t>(printed.width * printed.height));
    for (int y = 0; y < printed.height; ++y)
        for (int x = 0; x < printed.width; ++x)
            printed.pixels.push_back(canvas.At(x, y));
    return printed;
}

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
           std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

namespace {

BOOL CALLBACK AddWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, &AddWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

const WindowClass& TestHost::Class() {
    static const WindowClass cls =
        RegisterOwnClass(L"TarnvelTestHost", CS_DBLCLKS, nullptr, LoadCursorW(nullptr, IDC_ARROW));
    return cls;
}

LRESULT TestHost::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PRINTCLIENT)
        ++printClientCalls;
    LRESULT result = 0;
    if (HandleDoubleBufferedPaint(Handle(), message, wParam, result, [this](HDC dc) {
            RECT client{};
            GetClientRect(Handle(), &client);
            HBRUSH brush = CreateSolidBrush(colour);
            FillRect(dc, &client, brush);
            DeleteObject(brush);
        }))
        return result;
    if (ReflectNotification(Handle(), message, wParam, lParam, result))
        return result;
    return DefaultProc(message, wParam, lParam);
}

HWND TestHost::CreatePopup(int x, int y, int width, int height) {
    // Shown without activation: Wine waits for a window manager to unmap an activated pop-up.
    HWND hwnd = Create(nullptr, RECT{x, y, x + width, y + height}, L"", WS_POPUP | WS_CLIPCHILDREN,
                       WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE);
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd);
    return hwnd;
}

HWND TestHost::CreateChild(HWND parent, int x, int y, int width, int height, int id) {
    return Create(parent, RECT{x, y, x + width, y + height}, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0,
                  static_cast<UINT_PTR>(id));
}

const WindowClass& Recorder::Class() {
    static const WindowClass cls = RegisterOwnClass(L"TarnvelTestRecorder", 0, nullptr, nullptr);
    return cls;
}

LRESULT Recorder::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= kReflectedMessageBase && message < kReflectedMessageBase + WM_USER &&
        message != kReflectedMessageBase + WM_PARENTNOTIFY) {
        received.push_back({message, wParam, lParam});
        return answer;
    }
    if (message == WM_USER && throwOnUser)
        throw std::runtime_error("handler failed");
    return DefaultProc(message, wParam, lParam);
}

} // namespace tarnvel::testing
