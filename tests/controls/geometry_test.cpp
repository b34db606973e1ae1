// Layout arithmetic of the skinned controls, without a window.
#include "controls/geometry.h"

#include <gtest/gtest.h>

namespace tarnvel {
namespace {

TEST(FillWidth, BarOf390PixelsFillsTheStatedWidths) {
    const struct {
        int percent;
        int width;
    } cases[] = {{0, 0}, {1, 3}, {50, 195}, {100, 390}, {150, 390}, {-5, 390}, {99, 386}};
    for (const auto& c : cases)
        EXPECT_EQ(FillWidthForPercent(0, 390, 0, 0, c.percent), c.width) << c.percent << "%";
}

TEST(FillWidth, StepBarOf678Pixels) {
    EXPECT_EQ(FillWidthForPercent(0, 678, 0, 0, 8), 54);
    EXPECT_EQ(FillWidthForPercent(0, 678, 0, 0, 9), 61);
    EXPECT_EQ(FillWidthForPercent(0, 678, 0, 0, 50), 339);
    EXPECT_EQ(FillWidthForPercent(0, 678, 0, 0, 100), 678);
}

TEST(FillWidth, InsetAndExtraWidthAreLeftOut) {
    // Defaults of a bar: inset 1 (twice), extra width 1.
    EXPECT_EQ(FillWidthForPercent(0, 390, 1, 1, 100), 387);
    EXPECT_EQ(FillWidthForPercent(10, 400, 0, 0, 100), 390);
}

TEST(FillWidth, FractionIsTheFloatOfPercentOverHundred) {
    EXPECT_EQ(FillFraction(0), 0.0f);
    EXPECT_EQ(FillFraction(100), 1.0f);
    EXPECT_EQ(FillFraction(-1), 1.0f);
    EXPECT_EQ(FillFraction(2147483647), 1.0f);
    for (int p = 1; p < 100; ++p)
        EXPECT_EQ(FillFraction(p), static_cast<float>(p) / 100.0f) << p;
}

TEST(ThreeSlice, StepTrackSqueezesItsLastPieceAndEndsAtTheRightEdge) {
    const auto pieces = ThreeSlicePieces(653, 3, 0, 0, 678, 10);
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0], (SlicePiece{{0, 0, 10, 3}, {0, 0, 10, 3}}));
    EXPECT_EQ(pieces[1], (SlicePiece{{10, 0, 633, 3}, {10, 0, 633, 3}}));
    EXPECT_EQ(pieces[2], (SlicePiece{{10, 0, 633, 3}, {643, 0, 25, 3}}));
    EXPECT_EQ(pieces[3], (SlicePiece{{643, 0, 10, 3}, {668, 0, 10, 3}}));
    EXPECT_EQ(pieces[3].target.x + pieces[3].target.width, 678);
}

TEST(ThreeSlice, StatusTrackAcross390Pixels) {
    const auto pieces = ThreeSlicePieces(208, 12, 0, 0, 390, 10);
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[1].target, (PixelRect{10, 0, 188, 12}));
    EXPECT_EQ(pieces[2].target, (PixelRect{198, 0, 182, 12}));
    EXPECT_EQ(pieces[3].target, (PixelRect{380, 0, 10, 12}));
}

TEST(ThreeSlice, ManyExactCopiesBeforeTheSqueezedOne) {
    const auto pieces = ThreeSlicePieces(30, 5, 4, 7, 100, 5); // middle 20, 90 to cover
    ASSERT_EQ(pieces.size(), 7u);
    for (size_t i = 1; i <= 4; ++i)
        EXPECT_EQ(pieces[i].target, (PixelRect{4 + 5 + 20 * static_cast<int>(i - 1), 7, 20, 5}));
    EXPECT_EQ(pieces[5].target, (PixelRect{89, 7, 10, 5}));
    EXPECT_EQ(pieces[6].target, (PixelRect{99, 7, 5, 5}));
}

TEST(ThreeSlice, NothingToDrawAndNoLoop) {
    EXPECT_TRUE(ThreeSlicePieces(20, 3, 0, 0, 678, 10).empty()); // no middle
    EXPECT_TRUE(ThreeSlicePieces(15, 3, 0, 0, 678, 10).empty()); // narrower than its caps
    EXPECT_TRUE(ThreeSlicePieces(653, 3, 0, 0, 678, 0).empty());
    EXPECT_TRUE(ThreeSlicePieces(653, 3, 0, 0, 678, -3).empty());
    EXPECT_TRUE(ThreeSlicePieces(653, 3, 0, 0, 0, 10).empty());
    EXPECT_TRUE(ThreeSlicePieces(0, 0, 0, 0, 678, 10).empty());
}

TEST(ThreeSlice, WidthBelowTwoCapsDrawsOnlyTheCaps) {
    const auto pieces = ThreeSlicePieces(208, 12, 0, 0, 15, 10);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].target, (PixelRect{0, 0, 10, 12}));
    EXPECT_EQ(pieces[1].target, (PixelRect{5, 0, 10, 12}));
}

TEST(NineGrid, ButtonFrameSqueezedIntoTheBrowseButton) {
    const auto pieces = NineGridPieces(Box{0, 0, 46, 30}, Box{140, 0, 280, 42}, Margins{1, 1, 1, 1});
    EXPECT_EQ(pieces[0], (SlicePiece{{140, 0, 1, 1}, {0, 0, 1, 1}}));
    EXPECT_EQ(pieces[1], (SlicePiece{{141, 0, 138, 1}, {1, 0, 44, 1}}));
    EXPECT_EQ(pieces[2], (SlicePiece{{279, 0, 1, 1}, {45, 0, 1, 1}}));
    EXPECT_EQ(pieces[3], (SlicePiece{{140, 1, 1, 40}, {0, 1, 1, 28}}));
    EXPECT_EQ(pieces[4], (SlicePiece{{141, 1, 138, 40}, {1, 1, 44, 28}}));
    EXPECT_EQ(pieces[5], (SlicePiece{{279, 1, 1, 40}, {45, 1, 1, 28}}));
    EXPECT_EQ(pieces[6], (SlicePiece{{140, 41, 1, 1}, {0, 29, 1, 1}}));
    EXPECT_EQ(pieces[7], (SlicePiece{{141, 41, 138, 1}, {1, 29, 44, 1}}));
    EXPECT_EQ(pieces[8], (SlicePiece{{279, 41, 1, 1}, {45, 29, 1, 1}}));
}

TEST(NineGrid, UnequalMarginsAndAnOffsetTarget) {
    const auto pieces = NineGridPieces(Box{10, 20, 110, 70}, Box{0, 0, 40, 30}, Margins{2, 3, 4, 5});
    EXPECT_EQ(pieces[4], (SlicePiece{{2, 3, 34, 22}, {12, 23, 94, 42}}));
    EXPECT_EQ(pieces[8], (SlicePiece{{36, 25, 4, 5}, {106, 65, 4, 5}}));
}

TEST(Stripes, StartAtMinusTheStripeWidthAndStopBeforeTheFillEnd) {
    const auto positions = StripePositions(208, 5, 3);
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.front(), -208);
    EXPECT_EQ(positions.back(), 2);
    EXPECT_EQ(positions.size(), 43u);
    const auto step = StripePositions(653, 25, 61);
    EXPECT_EQ(step.front(), -653);
    EXPECT_LT(step.back(), 61);
    EXPECT_GE(step.back() + 25, 61);
}

TEST(Stripes, StepBelowOneStillEnds) {
    EXPECT_EQ(StripePositions(3, 0, 2).size(), 5u);
    EXPECT_EQ(StripePositions(3, -7, 2).size(), 5u);
    EXPECT_TRUE(StripePositions(3, 5, -10).empty());
}

TEST(Shadow, MainWindowSettingsSurroundTheOwnerAndSitLower) {
    const ShadowLayout layout = ShadowPlacement(Box{600, 290, 1320, 790}, 15, 5, 4);
    EXPECT_EQ(layout.window, (Box{585, 282, 1335, 812}));
    EXPECT_EQ(layout.window.right - layout.window.left, 750);
    EXPECT_EQ(layout.window.bottom - layout.window.top, 530);
    // 5 pixels inside the owner's edges: the owner lies at (15, 8) in the shadow.
    EXPECT_EQ(layout.undrawn, (PixelRect{20, 13, 710, 490}));
}

TEST(Shadow, EachPlacementMode) {
    const Box owner{100, 100, 300, 200};
    EXPECT_EQ(ShadowPlacement(owner, 5, 1, 1).window, (Box{95, 95, 305, 205}));
    EXPECT_EQ(ShadowPlacement(owner, 5, 1, 1).undrawn, (PixelRect{6, 6, 198, 98}));
    EXPECT_EQ(ShadowPlacement(owner, 5, 1, 2).window, (Box{105, 105, 305, 205}));
    EXPECT_EQ(ShadowPlacement(owner, 5, 1, 2).undrawn, (PixelRect{0, 0, 194, 94}));
    EXPECT_EQ(ShadowPlacement(owner, 5, 1, 3).window, (Box{95, 105, 295, 205}));
    EXPECT_EQ(ShadowPlacement(owner, 5, 1, 3).undrawn, (PixelRect{6, 0, 194, 94}));
    EXPECT_EQ(ShadowPlacement(owner, 5, 1, 4).window, (Box{95, 97, 305, 207}));
    EXPECT_EQ(ShadowPlacement(owner, 5, 1, 4).undrawn, (PixelRect{6, 4, 198, 98}));
    // Unknown modes place the shadow as mode 1.
    EXPECT_EQ(ShadowPlacement(owner, 5, 1, 0).window, ShadowPlacement(owner, 5, 1, 1).window);
    EXPECT_EQ(ShadowPlacement(owner, 5, 1, 9).undrawn, ShadowPlacement(owner, 5, 1, 1).undrawn);
}

TEST(Shadow, RimFadesInFromTheEdgeWithin5PercentOfTheWayToTheCentre) {
    const int w = 750, h = 530;
    EXPECT_EQ(ShadowPixelAt(0, 0, w, h, 10).alpha, 0); // outside the rounded corner
    EXPECT_EQ(ShadowPixelAt(375, 265, w, h, 10), (ShadowPixel{255, 0}));
    // Left edge, middle row: 5 % of 375 pixels is 18.75.
    EXPECT_LT(ShadowPixelAt(0, 265, w, h, 10).alpha, 16);
    const ShadowPixel half = ShadowPixelAt(9, 265, w, h, 10);
    EXPECT_GT(half.alpha, 100);
    EXPECT_LT(half.alpha, 155);
    EXPECT_EQ(ShadowPixelAt(19, 265, w, h, 10).alpha, 255);
    // Top edge: 5 % of 265 is 13.25.
    EXPECT_EQ(ShadowPixelAt(375, 14, w, h, 10).alpha, 255);
    EXPECT_LT(ShadowPixelAt(375, 6, w, h, 10).alpha, 255);
    for (int x = 1; x < 20; ++x)
        EXPECT_GE(ShadowPixelAt(x, 265, w, h, 10).alpha, ShadowPixelAt(x - 1, 265, w, h, 10).alpha) << x;
    EXPECT_EQ(ShadowPixelAt(-1, 0, w, h, 10).alpha, 0);
    EXPECT_EQ(ShadowPixelAt(0, 0, 0, 0, 10).alpha, 0);
}

TEST(RoundedRect, FourQuarterArcsInTheCorners) {
    const auto arcs = RoundedRectArcs(1, 1, 193, 21, 1);
    EXPECT_EQ(arcs[0], (QuarterArc{{1, 1, 2, 2}, 180, 90}));
    EXPECT_EQ(arcs[1], (QuarterArc{{192, 1, 2, 2}, 270, 90}));
    EXPECT_EQ(arcs[2], (QuarterArc{{192, 20, 2, 2}, 0, 90}));
    EXPECT_EQ(arcs[3], (QuarterArc{{1, 20, 2, 2}, 90, 90}));
}

constexpr int kDpis[] = {96, 120, 144, 192};

TEST(DpiScale, KeepsTheLayoutAt96AndRoundsHalvesAwayFromZero) {
    for (const int value : {-7, 0, 1, 13, 720})
        EXPECT_EQ(ScaleForDpi(value, 96), value);
    EXPECT_EQ(ScaleForDpi(720, 144), 1080);
    EXPECT_EQ(ScaleForDpi(500, 144), 750);
    EXPECT_EQ(ScaleForDpi(1, 144), 2);   // 1.5
    EXPECT_EQ(ScaleForDpi(-1, 144), -2); // -1.5
    EXPECT_EQ(ScaleForDpi(1, 120), 1);   // 1.25
    EXPECT_EQ(ScaleForDpi(3, 120), 4);   // 3.75
    EXPECT_EQ(ScaleForDpi(12, 0), 12);   // no dpi known
}

TEST(DpiScale, RectanglesThatMeetOrNestStillDo) {
    // Side by side, one above the other, and one inside the other, with odd coordinates.
    const Box left{3, 5, 17, 29}, right{17, 5, 41, 29}, below{3, 29, 17, 33}, outer{0, 0, 45, 45};
    for (const int dpi : kDpis) {
        EXPECT_EQ(ScaleForDpi(left, dpi).right, ScaleForDpi(right, dpi).left) << dpi;
        EXPECT_EQ(ScaleForDpi(left, dpi).bottom, ScaleForDpi(below, dpi).top) << dpi;
        const Box in = ScaleForDpi(right, dpi), out = ScaleForDpi(outer, dpi);
        EXPECT_TRUE(in.left >= out.left && in.top >= out.top && in.right <= out.right &&
                    in.bottom <= out.bottom)
            << dpi;
        const PixelRect a = ScaleForDpi(PixelRect{3, 5, 14, 24}, dpi),
                        b = ScaleForDpi(PixelRect{17, 5, 24, 24}, dpi);
        EXPECT_EQ(a.x + a.width, b.x) << dpi;
    }
}

TEST(DpiScale, PicturesAreTakenAtTheirScaleOrTheNextLargerOne) {
    EXPECT_EQ(PictureScaleForDpi(96), (PictureScale{100, true}));
    EXPECT_EQ(PictureScaleForDpi(120), (PictureScale{125, true}));
    EXPECT_EQ(PictureScaleForDpi(144), (PictureScale{150, true}));
    EXPECT_EQ(PictureScaleForDpi(192), (PictureScale{200, true}));
    EXPECT_EQ(PictureScaleForDpi(72), (PictureScale{100, false}));
    EXPECT_EQ(PictureScaleForDpi(110), (PictureScale{125, false}));
    EXPECT_EQ(PictureScaleForDpi(168), (PictureScale{200, false}));
    EXPECT_EQ(PictureScaleForDpi(288), (PictureScale{200, false}));
}

} // namespace
} // namespace tarnvel
