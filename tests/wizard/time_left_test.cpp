#include "wizard/time_left.h"

#include <gtest/gtest.h>

namespace tarnvel {
namespace {

TEST(TimeLeftTest, ShowsOnlyAfterFivePercentAndThreeSecondsThenFromTheRate) {
    TimeLeftEstimate estimate;
    estimate.OnProgress(0, 10'000);
    estimate.OnProgress(10, 12'000); // 10 % but 2 s
    EXPECT_FALSE(estimate.SecondsLeft());
    estimate.OnProgress(4, 20'000); // a new run: starts again from here
    estimate.OnProgress(8, 30'000); // 10 s but 4 %
    EXPECT_FALSE(estimate.SecondsLeft());
    estimate.OnProgress(10, 35'000); // 6 % in 15 s: 90 % left take 225 s
    EXPECT_EQ(estimate.SecondsLeft(), 225);
    estimate.OnProgress(100, 60'000);
    EXPECT_FALSE(estimate.SecondsLeft());
}

TEST(TimeLeftTest, OneFastBlockMovesTheEstimateOnlyALittle) {
    TimeLeftEstimate estimate;
    estimate.OnProgress(0, 0);
    estimate.OnProgress(10, 10'000); // 1 % a second: 90 s left
    ASSERT_EQ(estimate.SecondsLeft(), 90);
    estimate.OnProgress(30, 11'000); // 20 % in one second
    // Unsmoothed this would say 3.5 s; smoothed the rate is 2.9 % a second: 24 s.
    EXPECT_EQ(estimate.SecondsLeft(), 24);
    estimate.Reset();
    EXPECT_FALSE(estimate.SecondsLeft());
}

TEST(TimeLeftTest, TextGivesMinutesFromOneMinuteOn) {
    EXPECT_EQ(TimeLeftText(45), L"剩余约 45 秒");
    EXPECT_EQ(TimeLeftText(80), L"剩余约 1 分 20 秒");
    EXPECT_EQ(TimeLeftText(120), L"剩余约 2 分 0 秒");
}

} // namespace
} // namespace tarnvel
