// Drawing helpers the skinned controls share: the background copies that make a control look
// transparent, nine-grid and three-slice picture draws, rounded paths and the stripes of a bar.
#pragma once

#include "controls/gdi_handles.h"
#include "controls/gdiplus_include.h"
#include "controls/geometry.h"

#include <memory>

namespace tarnvel {

// A pattern brush showing, at control's place, what source paints (its own content, without its
// children), copied through WM_ERASEBKGND and WM_PRINTCLIENT into a memory context. The caller
// owns the brush; null when either window is missing or the copy cannot be made.
HBRUSH CaptureBackgroundBrush(HWND control, HWND source);

// The same copy for GDI+ drawing (the stripe progress bar): a snapshot of what source paints under
// control, through WM_PAINT with a memory context, and a tiling texture brush over it.
struct BackgroundCapture {
    std::unique_ptr<Gdiplus::Bitmap> snapshot;
    std::unique_ptr<Gdiplus::TextureBrush> brush;
};
// Empty when either window is missing or the copy cannot be made. UI thread only: it sends source
// a paint message.
BackgroundCapture CaptureBackground(HWND control, HWND source);

// Nine AlphaBlend calls (source over, constant alpha, per-pixel alpha) from source's rectangle
// into target's with fixed borders: corners unscaled, edges stretched along, centre both ways.
void DrawNineGrid(HDC target, const RECT& targetRect, HDC source, const RECT& sourceRect, BYTE alpha,
                  const Margins& margins);
// The same from a device bitmap (selected into a memory context for the draw).
void DrawNineGrid(HDC target, const RECT& targetRect, HBITMAP source, const RECT& sourceRect, BYTE alpha,
                  const Margins& margins);

// A closed rounded rectangle: quarter arcs of radius r at the corners joined by the edges.
std::unique_ptr<Gdiplus::GraphicsPath> RoundedRectPath(int x, int y, int width, int height, int radius);

// Draws image at its natural height at (x, y) across width: fixed caps of cap pixels at both ends,
// the middle repeated and the last piece squeezed (ThreeSlicePieces). Nothing without an image,
// for width < 1 or cap < 1, or for an image not wider than twice its cap.
void DrawThreeSlice(Gdiplus::Graphics& graphics, Gdiplus::Image* image, int x, int y, int width, int cap);

// The stripes of a bar's fill: the stripe image repeated every step pixels from -stripe width up to
// the fill rectangle's width (counted from the bar's left edge) at the fill's y, clipped to the
// fill path. Nothing for an empty fill or without an image.
void DrawStripes(Gdiplus::Graphics& graphics, Gdiplus::Image* stripe, const Gdiplus::GraphicsPath* fillPath,
                 const PixelRect& fillRect, int step);

// The skin's focus cue: a 1-pixel dotted rectangle (every other pixel, starting at the top-left
// corner) in colour along rect's inner edge.
void DrawDottedFrame(HDC dc, const RECT& rect, COLORREF colour);

// A RECT from the geometry's types and back.
inline RECT ToRect(const Box& box) {
    return RECT{box.left, box.top, box.right, box.bottom};
}
inline Box ToBox(const RECT& rect) {
    return Box{rect.left, rect.top, rect.right, rect.bottom};
}
// A rectangle of the 96-dpi layout at dpi, edge by edge.
inline RECT ScaleForDpi(const RECT& rect, int dpi) {
    return ToRect(ScaleForDpi(ToBox(rect), dpi));
}
// Moves child to the top-left corner of the layout's rect at dpi, keeping its size.
inline void MoveForDpi(HWND child, const RECT& rect, int dpi) {
    const RECT scaled = ScaleForDpi(rect, dpi);
    SetWindowPos(child, nullptr, scaled.left, scaled.top, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
}
// Moves child to the layout's rect at dpi.
inline void PlaceForDpi(HWND child, const RECT& rect, int dpi) {
    const RECT scaled = ScaleForDpi(rect, dpi);
    MoveWindow(child, scaled.left, scaled.top, scaled.right - scaled.left, scaled.bottom - scaled.top, TRUE);
}

} // namespace tarnvel
