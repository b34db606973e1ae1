#include "controls/geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace tarnvel {

int ScaleForDpi(int value, int dpi) {
    if (dpi < 1)
        dpi = kLayoutDpi;
    // 64-bit so that no coordinate of a large desktop overflows; the halves round away from zero.
    const long long scaled = static_cast<long long>(value) * dpi;
    const long long half = kLayoutDpi / 2;
    const long long rounded = scaled >= 0 ? (scaled + half) / kLayoutDpi : -((-scaled + half) / kLayoutDpi);
    return static_cast<int>(std::clamp<long long>(rounded, INT_MIN, INT_MAX));
}

Box ScaleForDpi(const Box& box, int dpi) {
    return {ScaleForDpi(box.left, dpi), ScaleForDpi(box.top, dpi), ScaleForDpi(box.right, dpi),
            ScaleForDpi(box.bottom, dpi)};
}

PixelRect ScaleForDpi(const PixelRect& rect, int dpi) {
    const int x = ScaleForDpi(rect.x, dpi);
    const int y = ScaleForDpi(rect.y, dpi);
    return {x, y, ScaleForDpi(rect.x + rect.width, dpi) - x, ScaleForDpi(rect.y + rect.height, dpi) - y};
}

Margins ScaleForDpi(const Margins& margins, int dpi) {
    return {ScaleForDpi(margins.left, dpi), ScaleForDpi(margins.top, dpi), ScaleForDpi(margins.right, dpi),
            ScaleForDpi(margins.bottom, dpi)};
}

PictureScale PictureScaleForDpi(int dpi) {
    if (dpi < 1)
        dpi = kLayoutDpi;
    for (const int percent : kPictureScales) {
        // percent / 100 >= dpi / 96, in integers.
        if (percent * kLayoutDpi >= dpi * 100)
            return {percent, percent * kLayoutDpi == dpi * 100};
    }
    return {kPictureScales.back(), false};
}

float FillFraction(int percent) {
    if (static_cast<unsigned>(percent) >= 100u)
        return 1.0f;
    if (percent == 0)
        return 0.0f;
    // Stored through volatile so that x87 builds round to float exactly as SSE builds do.
    volatile float fraction = static_cast<float>(percent) / 100.0f;
    return fraction;
}

int FillWidthForPercent(int clientLeft, int clientRight, int inset, int extraWidth, int percent) {
    const int inner = clientRight - 2 * inset - extraWidth - clientLeft;
    volatile float filled = static_cast<float>(inner) * FillFraction(percent);
    return static_cast<int>(filled);
}

std::vector<SlicePiece> ThreeSlicePieces(int imageWidth, int imageHeight, int x, int y, int width, int cap) {
    std::vector<SlicePiece> pieces;
    const int mid = imageWidth - 2 * cap;
    // An image not wider than twice its cap has no middle to repeat: the loop below would never
    // advance, so such a picture is not drawn at all.
    if (width < 1 || cap < 1 || mid < 1 || imageHeight < 1)
        return pieces;
    int remaining = width - 2 * cap;
    pieces.push_back({{0, 0, cap, imageHeight}, {x, y, cap, imageHeight}});
    int chunk = std::min(remaining, mid);
    int dx = x + cap;
    for (;;) {
        // A bar narrower than its two caps has no middle; a piece of negative width would draw
        // the middle mirrored.
        if (chunk > 0)
            pieces.push_back({{cap, 0, mid, imageHeight}, {dx, y, chunk, imageHeight}});
        dx += chunk;
        remaining -= chunk;
        if (remaining <= 0)
            break;
        chunk = std::min(remaining, chunk);
    }
    pieces.push_back({{imageWidth - cap, 0, cap, imageHeight}, {dx, y, cap, imageHeight}});
    return pieces;
}

std::array<SlicePiece, 9> NineGridPieces(const Box& t, const Box& s, const Margins& m) {
    const int targetMidWidth = (t.right - m.right) - t.left - m.left;
    const int targetMidHeight = (t.bottom - m.bottom) - t.top - m.top;
    const int sourceMidWidth = (s.right - m.right) - s.left - m.left;
    const int sourceMidHeight = (s.bottom - m.bottom) - s.top - m.top;
    return {{
        {{s.left, s.top, m.left, m.top}, {t.left, t.top, m.left, m.top}},
        {{s.left + m.left, s.top, sourceMidWidth, m.top}, {t.left + m.left, t.top, targetMidWidth, m.top}},
        {{s.right - m.right, s.top, m.right, m.top}, {t.right - m.right, t.top, m.right, m.top}},
        {{s.left, s.top + m.top, m.left, sourceMidHeight}, {t.left, t.top + m.top, m.left, targetMidHeight}},
        {{s.left + m.left, s.top + m.top, sourceMidWidth, sourceMidHeight},
         {t.left + m.left, t.top + m.top, targetMidWidth, targetMidHeight}},
        {{s.right - m.right, s.top + m.top, m.right, sourceMidHeight},
         {t.right - m.right, t.top + m.top, m.right, targetMidHeight}},
        {{s.left, s.bottom - m.bottom, m.left, m.bottom}, {t.left, t.bottom - m.bottom, m.left, m.bottom}},
        {{s.left + m.left, s.bottom - m.bottom, sourceMidWidth, m.bottom},
         {t.left + m.left, t.bottom - m.bottom, targetMidWidth, m.bottom}},
        {{s.right - m.right, s.bottom - m.bottom, m.right, m.bottom},
         {t.right - m.right, t.bottom - m.bottom, m.right, m.bottom}},
    }};
}

std::vector<int> StripePositions(int stripeWidth, int step, int fillWidth) {
    std::vector<int> positions;
    // A step of 0 or less would never reach the end of the fill.
    const int advance = std::max(step, 1);
    for (long long x = -static_cast<long long>(stripeWidth); x < fillWidth; x += advance)
        positions.push_back(static_cast<int>(x));
    return positions;
}

ShadowLayout ShadowPlacement(const Box& owner, int s, int inset, int mode) {
    ShadowLayout layout;
    Box& w = layout.window;
    switch (mode) {
    case 2:
        w = {owner.left + s, owner.top + s, owner.right + s, owner.bottom + s};
        break;
    case 3:
        w = {owner.left - s, owner.top + s, owner.right - s, owner.bottom + s};
        break;
    case 4:
        w = {owner.left - s, owner.top - s + s / 2, owner.right + s, owner.bottom + s + s / 2};
        break;
    default:
        w = {owner.left - s, owner.top - s, owner.right + s, owner.bottom + s};
        break;
    }
    const int width = w.right - w.left;
    const int height = w.bottom - w.top;
    const int edge = s + inset;
    switch (mode) {
    case 2:
        layout.undrawn = {0, 0, width - edge, height - edge};
        break;
    case 3:
        layout.undrawn = {edge, 0, width - edge, height - edge};
        break;
    case 4:
        layout.undrawn = {edge, s - s / 2 + inset, width - 2 * edge, height - 2 * edge};
        break;
    default:
        layout.undrawn = {edge, edge, width - 2 * edge, height - 2 * edge};
        break;
    }
    return layout;
}

ShadowPixel ShadowPixelAt(int x, int y, int width, int height, int radius) {
    if (width <= 0 || height <= 0 || x < 0 || y < 0 || x >= width || y >= height)
        return ShadowPixel{};
    const double halfWidth = width / 2.0;
    const double halfHeight = height / 2.0;
    const double dx = std::abs(x + 0.5 - halfWidth);
    const double dy = std::abs(y + 0.5 - halfHeight);
    // How far in from the edge towards the centre, as the path gradient counts it: 0 on the edge,
    // 1 at the centre, the edge scaled about the centre.
    const double scale = std::max(dx / halfWidth, dy / halfHeight);
    const double towardsCentre = 1.0 - scale;
    const double t = std::clamp(towardsCentre / 0.05, 0.0, 1.0);

    // Coverage of the pixel by the rounded rectangle, from the distance of its centre to the
    // rounded corner's arc; one pixel of anti-aliasing.
    double coverage = 1.0;
    const double r = std::min<double>(radius, std::min(halfWidth, halfHeight));
    const double cornerX = halfWidth - r;
    const double cornerY = halfHeight - r;
    if (r > 0 && dx > cornerX && dy > cornerY) {
        const double distance = std::hypot(dx - cornerX, dy - cornerY);
        coverage = std::clamp(r - distance + 0.5, 0.0, 1.0);
    }
    ShadowPixel pixel;
    pixel.alpha = static_cast<std::uint8_t>(std::lround(255.0 * t * coverage));
    pixel.grey = static_cast<std::uint8_t>(std::lround(255.0 * (1.0 - t)));
    return pixel;
}

std::array<QuarterArc, 4> RoundedRectArcs(int x, int y, int width, int height, int radius) {
    const int d = 2 * radius;
    return {{
        {{x, y, d, d}, 180, 90},
        {{x + width - d, y, d, d}, 270, 90},
        {{x + width - d, y + height - d, d, d}, 0, 90},
        {{x, y + height - d, d, d}, 90, 90},
    }};
}

} // namespace tarnvel
