#include "wizard/step_look.h"

#include "wizard/wizard_ids.h"

#include <gtest/gtest.h>

namespace tarnvel {
namespace {

TEST(StepLook, CreationDiffersFromStepZero) {
    const StepLook initial = InitialStepLook();
    EXPECT_EQ(initial.barPercent, 8);
    EXPECT_EQ(initial.labelColours[1], ColourOf(0x006400)); // dark green, not the active teal
    const StepLook step0 = *StepLookOf(0);
    EXPECT_EQ(step0.barPercent, 9);
    EXPECT_EQ(step0.labelColours[1], colours::kBlack);
}

TEST(StepLook, EachStepColoursItselfAndTheStepsBefore) {
    const std::uint32_t teal = ColourOf(0x006464);
    const std::uint32_t black = ColourOf(0x000000);
    EXPECT_EQ(StepLookOf(0)->labelColours, (std::array<std::uint32_t, 3>{teal, black, black}));
    EXPECT_EQ(StepLookOf(1)->labelColours, (std::array<std::uint32_t, 3>{teal, teal, black}));
    EXPECT_EQ(StepLookOf(2)->labelColours, (std::array<std::uint32_t, 3>{teal, teal, teal}));
    EXPECT_EQ(StepLookOf(1)->barPercent, 50);
    EXPECT_EQ(StepLookOf(2)->barPercent, 100);
}

TEST(StepLook, OtherStepsChangeNothing) {
    EXPECT_FALSE(StepLookOf(3).has_value());
    EXPECT_FALSE(StepLookOf(-1).has_value());
}

TEST(ColourOf, SwapsRedAndBlueIntoThePlatformLayout) {
    EXPECT_EQ(ColourOf(0xC45033), 0x3350C4u);
    EXPECT_EQ(ColourOf(0x0000FF), 0xFF0000u);
}

} // namespace
} // namespace tarnvel
