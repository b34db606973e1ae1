#include "wizard/window_shape.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tarnvel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ShapeRuns, KeyPixelsAreCutOutOfEachRow) {
    constexpr std::uint32_t K = 0xFF000000; // black with alpha: the alpha byte is not compared
    constexpr std::uint32_t W = 0xFFFFFFFF;
    const std::uint32_t pixels[] = {
        K, W, W, K, W, // two runs
        W, W, W, W, W, // the whole row
        K, K, K, K, K, // nothing
        W, K, K, K, W, // at both edges
    };
    EXPECT_THAT(ShapeRuns(pixels, 5, 4, 0x000000),
                ElementsAre(PixelRun{1, 3, 0}, PixelRun{4, 5, 0}, PixelRun{0, 5, 1}, PixelRun{0, 1, 3},
                            PixelRun{4, 5, 3}));
}

TEST(ShapeRuns, PictureWithoutKeyPixelsIsOneRunPerRow) {
    const std::vector<std::uint32_t> pixels(720 * 500, 0xFFF3F4F5);
    const std::vector<PixelRun> runs = ShapeRuns(pixels.data(), 720, 500, 0);
    ASSERT_EQ(runs.size(), 500u);
    EXPECT_EQ(runs.front(), (PixelRun{0, 720, 0}));
    EXPECT_EQ(runs.back(), (PixelRun{0, 720, 499}));
}

TEST(ShapeRuns, NoPictureGivesNoShape) {
    EXPECT_THAT(ShapeRuns(nullptr, 720, 500, 0), IsEmpty());
    const std::uint32_t one = 0xFFFFFF;
    EXPECT_THAT(ShapeRuns(&one, 0, 1, 0), IsEmpty());
}

TEST(CentredOrigin, CentresOnThePrimaryDisplay) {
    EXPECT_EQ(CentredOrigin(1920, 1080, 720, 500), (Origin{600, 290}));
    EXPECT_EQ(CentredOrigin(1366, 768, 720, 500), (Origin{323, 134}));
    EXPECT_EQ(CentredOrigin(1920, 1080, 0, 0),
              (Origin{960, 540})); // no picture: nothing to see, still placed
}

} // namespace
} // namespace tarnvel
