#include "wizard/window_region.h"

#include "controls/image_loader.h"
#include "wizard/window_shape.h"

#include <cstdint>
#include <vector>

namespace tarnvel {

void WindowRegion::Build(HBITMAP bitmap, COLORREF key) {
    region_.Reset(CreateRectRgn(0, 0, 0, 0));
    const SIZE size = BitmapSize(bitmap);
    if (!bitmap || size.cx <= 0 || size.cy <= 0)
        return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy));
    {
        WindowDc screen(nullptr);
        MemoryDc memory(screen.Get());
        if (!GetDIBits(memory.Get(), bitmap, 0, static_cast<UINT>(size.cy), pixels.data(), &info,
                       DIB_RGB_COLORS))
            return;
    }
    // DIB pixels are 0x00RRGGBB; the key is a COLORREF, 0x00BBGGRR.
    const std::uint32_t keyPixel = (GetRValue(key) << 16) | (GetGValue(key) << 8) | GetBValue(key);
    for (const PixelRun& run : ShapeRuns(pixels.data(), size.cx, size.cy, keyPixel)) {
        UniqueRegion piece(CreateRectRgn(run.left, run.y, run.right, run.y + 1));
        if (!piece || CombineRgn(region_.Get(), region_.Get(), piece.Get(), RGN_OR) == ERROR)
            break; // the region built so far is the shape
    }
}

bool WindowRegion::ApplyTo(HWND hwnd, SIZE size, const RECT* place) {
    GetRgnBox(region_.Get(), &box_);
    // The window owns the region it is given: hand it a copy and keep ours for painting.
    UniqueRegion copy(CreateRectRgn(0, 0, 0, 0));
    if (!copy || CombineRgn(copy.Get(), region_.Get(), nullptr, RGN_COPY) == ERROR)
        return false;
    if (!SetWindowRgn(hwnd, copy.Get(), TRUE))
        return false;
    (void)copy.Release();
    const Origin origin =
        place ? Origin{place->left, place->top}
              : CentredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), size.cx, size.cy);
    SetWindowPos(hwnd, HWND_NOTOPMOST, origin.x, origin.y, size.cx, size.cy, 0);
    return true;
}

UniqueRegion WindowRegion::Rounded(int radius) const {
    return UniqueRegion(
        CreateRoundRectRgn(box_.left, box_.top, box_.right + 1, box_.bottom + 1, radius, radius));
}

} // namespace tarnvel
