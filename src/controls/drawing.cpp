#include "controls/drawing.h"

namespace tarnvel {

namespace {

constexpr LPARAM kPrintFlags = PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND; // 0x0E

// What the source paints, the size of its window, in a memory context; the control's part of it
// cut out into a bitmap of the control's size.
UniqueBitmap CopyControlArea(HWND control, HWND source, bool throughPaint) {
    if (!control || !source)
        return UniqueBitmap();
    RECT sourceRect{};
    RECT controlRect{};
    if (!GetWindowRect(source, &sourceRect) || !GetWindowRect(control, &controlRect))
        return UniqueBitmap();
    const int sourceWidth = sourceRect.right - sourceRect.left;
    const int sourceHeight = sourceRect.bottom - sourceRect.top;
    const int width = controlRect.right - controlRect.left;
    const int height = controlRect.bottom - controlRect.top;
    if (sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0)
        return UniqueBitmap();

    WindowDc sourceDc(source);
    if (!sourceDc)
        return UniqueBitmap();
    MemoryDc whole(sourceDc.Get());
    UniqueBitmap wholeBitmap(CreateCompatibleBitmap(sourceDc.Get(), sourceWidth, sourceHeight));
    if (!whole || !wholeBitmap)
        return UniqueBitmap();
    SelectScope wholeSelection(whole.Get(), wholeBitmap.Get());
    const WPARAM dc = reinterpret_cast<WPARAM>(whole.Get());
    if (throughPaint) {
        SendMessageW(source, WM_PAINT, dc, kPrintFlags);
    } else {
        SendMessageW(source, WM_ERASEBKGND, dc, 0);
        SendMessageW(source, WM_PRINTCLIENT, dc, kPrintFlags);
    }

    MemoryDc part(nullptr);
    UniqueBitmap partBitmap(CreateCompatibleBitmap(whole.Get(), width, height));
    if (!part || !partBitmap)
        return UniqueBitmap();
    {
        SelectScope partSelection(part.Get(), partBitmap.Get());
        MapWindowPoints(nullptr, source, reinterpret_cast<POINT*>(&controlRect), 2);
        BitBlt(part.Get(), 0, 0, width, height, whole.Get(), controlRect.left, controlRect.top, SRCCOPY);
    }
    return partBitmap;
}

void AlphaBlendPiece(HDC target, HDC source, const SlicePiece& piece, const BLENDFUNCTION& blend) {
    const PixelRect& t = piece.target;
    const PixelRect& s = piece.source;
    if (t.width <= 0 || t.height <= 0 || s.width <= 0 || s.height <= 0)
        return;
    GdiAlphaBlend(target, t.x, t.y, t.width, t.height, source, s.x, s.y, s.width, s.height, blend);
}

} // namespace

HBRUSH CaptureBackgroundBrush(HWND control, HWND source) {
    UniqueBitmap area = CopyControlArea(control, source, false);
    if (!area)
        return nullptr;
    return CreatePatternBrush(area.Get()); // the brush keeps its own copy of the bitmap
}

BackgroundCapture CaptureBackground(HWND control, HWND source) {
    BackgroundCapture capture;
    UniqueBitmap area = CopyControlArea(control, source, true);
    if (!area)
        return capture;
    capture.snapshot.reset(Gdiplus::Bitmap::FromHBITMAP(area.Get(), nullptr));
    if (!capture.snapshot || capture.snapshot->GetLastStatus() != Gdiplus::Ok) {
        capture.snapshot.reset();
        return capture;
    }
    capture.brush = std::make_unique<Gdiplus::TextureBrush>(capture.snapshot.get(), Gdiplus::WrapModeTile);
    if (capture.brush->GetLastStatus() != Gdiplus::Ok)
        capture = BackgroundCapture{};
    return capture;
}

void DrawNineGrid(HDC target, const RECT& targetRect, HDC source, const RECT& sourceRect, BYTE alpha,
                  const Margins& margins) {
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
    for (const SlicePiece& piece : NineGridPieces(ToBox(targetRect), ToBox(sourceRect), margins))
        AlphaBlendPiece(target, source, piece, blend);
}

void DrawNineGrid(HDC target, const RECT& targetRect, HBITMAP source, const RECT& sourceRect, BYTE alpha,
                  const Margins& margins) {
    if (!source)
        return;
    MemoryDc sourceDc(target);
    if (!sourceDc)
        return;
    SelectScope selection(sourceDc.Get(), source);
    DrawNineGrid(target, targetRect, sourceDc.Get(), sourceRect, alpha, margins);
}

std::unique_ptr<Gdiplus::GraphicsPath> RoundedRectPath(int x, int y, int width, int height, int radius) {
    auto path = std::make_unique<Gdiplus::GraphicsPath>();
    for (const QuarterArc& arc : RoundedRectArcs(x, y, width, height, radius)) {
        // AddArc joins each arc to the end of the previous one with the straight edge between them.
        path->AddArc(arc.square.x, arc.square.y, arc.square.width, arc.square.height,
                     static_cast<Gdiplus::REAL>(arc.startDegrees),
                     static_cast<Gdiplus::REAL>(arc.sweepDegrees));
    }
    path->CloseFigure();
    return path;
}

void DrawThreeSlice(Gdiplus::Graphics& graphics, Gdiplus::Image* image, int x, int y, int width, int cap) {
    if (!image)
        return;
    const auto pieces = ThreeSlicePieces(static_cast<int>(image->GetWidth()),
                                         static_cast<int>(image->GetHeight()), x, y, width, cap);
    if (pieces.empty())
        return;
    // Edge pixels are repeated rather than faded towards transparency when a piece is stretched.
    Gdiplus::ImageAttributes attributes;
    attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    for (const SlicePiece& piece : pieces) {
        const Gdiplus::Rect target(piece.target.x, piece.target.y, piece.target.width, piece.target.height);
        graphics.DrawImage(image, target, piece.source.x, piece.source.y, piece.source.width,
                           piece.source.height, Gdiplus::UnitPixel, &attributes);
    }
}

void DrawStripes(Gdiplus::Graphics& graphics, Gdiplus::Image* stripe, const Gdiplus::GraphicsPath* fillPath,
                 const PixelRect& fillRect, int step) {
    if (fillRect.width <= 0 || !stripe || !fillPath)
        return;
    graphics.SetClip(fillPath, Gdiplus::CombineModeReplace);
    const int width = static_cast<int>(stripe->GetWidth());
    const int height = static_cast<int>(stripe->GetHeight());
    for (int x : StripePositions(width, step, fillRect.width))
        graphics.DrawImage(stripe, x, fillRect.y, width, height);
    graphics.ResetClip();
}

void DrawDottedFrame(HDC dc, const RECT& rect, COLORREF colour) {
    if (rect.right - rect.left < 1 || rect.bottom - rect.top < 1)
        return;
    const int right = rect.right - 1;
    const int bottom = rect.bottom - 1;
    // Counted along the outline, so that the dots keep their rhythm round the corners.
    int step = 0;
    const auto dot = [&](int x, int y) {
        if (step++ % 2 == 0)
            SetPixelV(dc, x, y, colour);
    };
    for (int x = rect.left; x < right; ++x)
        dot(x, rect.top);
    for (int y = rect.top; y < bottom; ++y)
        dot(right, y);
    for (int x = right; x > rect.left; --x)
        dot(x, bottom);
    for (int y = bottom; y > rect.top; --y)
        dot(rect.left, y);
    if (right == rect.left || bottom == rect.top)
        SetPixelV(dc, right, bottom, colour); // a line one pixel thin
}

} // namespace tarnvel
