// Layout arithmetic of the skinned controls: plain integers, no window system, so that tests can
// check every rectangle without a window.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tarnvel {

// x, y, width, height (signed).
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// left, top, right, bottom (signed), as the platform's rectangles.
struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// Border widths of a nine-grid draw.
struct Margins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Margins&, const Margins&) = default;
};

// One piece of a sliced picture: where it comes from in the image and where it goes.
struct SlicePiece {
    PixelRect source;
    PixelRect target;
    friend bool operator==(const SlicePiece&, const SlicePiece&) = default;
};

// The layout is written in pixels at 96 dpi (100 %); other dpis scale it by dpi / 96.
inline constexpr int kLayoutDpi = 96;

// A coordinate or length of the layout at dpi, rounded half away from zero: the one rounding rule.
// Rectangles scale edge by edge, never by size, so that rectangles that meet at 96 dpi still meet.
// A dpi below 1 counts as 96.
int ScaleForDpi(int value, int dpi);
Box ScaleForDpi(const Box& box, int dpi);
PixelRect ScaleForDpi(const PixelRect& rect, int dpi);
Margins ScaleForDpi(const Margins& margins, int dpi);

// The pictures are drawn at these scales, in percent; a dpi between them takes the next larger one
// and draws it down, a dpi beyond the largest takes the largest.
inline constexpr std::array<int, 4> kPictureScales{100, 125, 150, 200};
struct PictureScale {
    int percent = 100;
    bool exact = true; // drawn as it is, not resampled
    friend bool operator==(const PictureScale&, const PictureScale&) = default;
};
PictureScale PictureScaleForDpi(int dpi);

// The share of a bar that a percent fills: 1 for 100 or more and for every negative value (the
// percent is taken as unsigned), 0 for 0, p / 100 as a 32-bit float otherwise.
float FillFraction(int percent);

// Filled pixels of a bar whose client area spans [clientLeft, clientRight): the width left after
// twice the inset and the extra width, times the fraction, cut toward zero.
int FillWidthForPercent(int clientLeft, int clientRight, int inset, int extraWidth, int percent);

// The pieces of a three-slice draw of an imageWidth x imageHeight picture at (x, y) across width:
// left cap, middle pieces (exact copies of the image's middle, the last one squeezed into what is
// left), right cap. Empty when there is nothing to draw: width < 1, cap < 1, or a picture not
// wider than twice its cap (it has no middle to repeat).
std::vector<SlicePiece> ThreeSlicePieces(int imageWidth, int imageHeight, int x, int y, int width, int cap);

// The nine pieces of a nine-grid draw of source into target with fixed borders, in drawing order:
// top-left, top, top-right, left, centre, right, bottom-left, bottom, bottom-right.
std::array<SlicePiece, 9> NineGridPieces(const Box& target, const Box& source, const Margins& margins);

// Left edges of the stripes across a fill: from -stripeWidth in steps of step while below
// fillWidth (positions count from the bar's left edge). A step below 1 counts as 1.
std::vector<int> StripePositions(int stripeWidth, int step, int fillWidth);

// Where the shadow window lies for an owner window rectangle, and the part of the shadow's client
// area left undrawn (under the owner), by placement mode 1 to 4; any other mode behaves as 1.
struct ShadowLayout {
    Box window;        // screen rectangle of the shadow window
    PixelRect undrawn; // in the shadow's client coordinates
};
ShadowLayout ShadowPlacement(const Box& owner, int shadowSize, int inset, int mode);

// One pixel of the drop shadow in a width x height shadow bitmap: the rounded rectangle of the
// given radius filled with a path gradient from transparent white at its edge to opaque black at
// 5 % of the way to its centre and beyond. Colour channels are not premultiplied.
struct ShadowPixel {
    std::uint8_t alpha = 0;
    std::uint8_t grey = 0;
    friend bool operator==(const ShadowPixel&, const ShadowPixel&) = default;
};
ShadowPixel ShadowPixelAt(int x, int y, int width, int height, int radius);

// The figure of a rounded rectangle: four quarter arcs in 2r x 2r squares at the corners, joined
// by the straight edges, in the order top-left, top-right, bottom-right, bottom-left.
struct QuarterArc {
    PixelRect square;
    int startDegrees = 0;
    int sweepDegrees = 90;
    friend bool operator==(const QuarterArc&, const QuarterArc&) = default;
};
std::array<QuarterArc, 4> RoundedRectArcs(int x, int y, int width, int height, int radius);

} // namespace tarnvel
