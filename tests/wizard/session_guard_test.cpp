#include "wizard/session_guard.h"

#include <gtest/gtest.h>

namespace tarnvel {
namespace {

TEST(SessionGuard, ProtectsOnlyWhileClosingIsRefusedAndSwitchesOncePerChange) {
    SessionGuard guard;
    EXPECT_FALSE(guard.Protecting());
    EXPECT_EQ(guard.Update(true), std::nullopt); // idle at start: nothing to switch off
    EXPECT_EQ(guard.Update(false), true);        // the phone is being written
    EXPECT_TRUE(guard.Protecting());
    EXPECT_EQ(guard.Update(false), std::nullopt); // polled again: no second switch-on
    EXPECT_EQ(guard.Update(true), false);         // finished: cleared
    EXPECT_FALSE(guard.Protecting());
    EXPECT_EQ(guard.Update(true), std::nullopt);
}

TEST(TaskbarProgress, FollowsTheUpgradeAndReportsOnlyChanges) {
    TaskbarProgress taskbar;
    EXPECT_EQ(taskbar.Current().state, TaskbarState::None);
    EXPECT_EQ(taskbar.OnBackAtStart(), std::nullopt);
    EXPECT_EQ(taskbar.OnUpgradeBegin(), (TaskbarLook{TaskbarState::Normal, 0}));
    EXPECT_EQ(taskbar.OnProgress(10), (TaskbarLook{TaskbarState::Normal, 10}));
    EXPECT_EQ(taskbar.OnProgress(10), std::nullopt);
    EXPECT_EQ(taskbar.OnProgress(250), (TaskbarLook{TaskbarState::Normal, 100}));
    EXPECT_EQ(taskbar.OnProgress(-3), (TaskbarLook{TaskbarState::Normal, 0}));
    EXPECT_EQ(taskbar.OnSucceeded(), (TaskbarLook{TaskbarState::Normal, 100}));
    EXPECT_EQ(taskbar.OnBackAtStart(), (TaskbarLook{TaskbarState::None, 0}));
}

TEST(TaskbarProgress, FailureStaysRedUntilTheUserIsBackAtTheStart) {
    TaskbarProgress taskbar;
    taskbar.OnUpgradeBegin();
    taskbar.OnProgress(40);
    EXPECT_EQ(taskbar.OnFailed(), (TaskbarLook{TaskbarState::Error, 100}));
    EXPECT_EQ(taskbar.OnProgress(41), std::nullopt);
    EXPECT_EQ(taskbar.Current().state, TaskbarState::Error);
    EXPECT_EQ(taskbar.OnBackAtStart(), (TaskbarLook{TaskbarState::None, 0}));
    // The next run starts with progress again.
    EXPECT_EQ(taskbar.OnUpgradeBegin(), (TaskbarLook{TaskbarState::Normal, 0}));
}

} // namespace
} // namespace tarnvel
