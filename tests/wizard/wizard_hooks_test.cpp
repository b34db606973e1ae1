#include "wizard/wizard_hooks.h"

#include "wizard/hook_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tarnvel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class WizardHooksTest : public ::testing::Test {
protected:
    WizardHooksTest() {
        WizardHookQueue().Attach([this] {
            ++wakes;
            return true;
        });
    }
    ~WizardHooksTest() override { WizardHookQueue().Detach(); }

    DownloadHooks hooks = WizardHooks();
    int wakes = 0;
};

TEST_F(WizardHooksTest, EverySlotIsFilledAndTheUnusedOnesReportNothing) {
    const DownloadHook all[] = {hooks.OnDeviceMode,       hooks.OnReserved1,     hooks.OnDeviceInfo,
                                hooks.OnDeviceLost,       hooks.OnVerifyPassed,  hooks.OnVerifyFailed,
                                hooks.OnUpgradeStarted,   hooks.OnReserved7,     hooks.OnProgress,
                                hooks.OnUpgradeSucceeded, hooks.OnUpgradeFailed, hooks.OnReserved11,
                                hooks.OnUpgradeBegin};
    for (DownloadHook hook : all)
        EXPECT_NE(hook, nullptr);
    hooks.OnDeviceMode(0);
    hooks.OnReserved1(0);
    hooks.OnDeviceInfo(0);
    hooks.OnDeviceLost(0);
    hooks.OnReserved7(0);
    hooks.OnReserved11(0);
    EXPECT_THAT(WizardHookQueue().TakeAll(), IsEmpty());
    EXPECT_EQ(wakes, 0);
}

TEST_F(WizardHooksTest, ReportsArriveInTheOrderTheyWereMade) {
    hooks.OnVerifyPassed(0);
    hooks.OnUpgradeBegin(0);
    hooks.OnUpgradeStarted(0);
    hooks.OnUpgradeSucceeded(0);
    hooks.OnVerifyFailed(0);
    hooks.OnUpgradeFailed(0);
    EXPECT_THAT(WizardHookQueue().TakeAll(),
                ElementsAre(HookWork{HookEvent::VerifyPassed}, HookWork{HookEvent::UpgradeBegin},
                            HookWork{HookEvent::UpgradeStarted}, HookWork{HookEvent::UpgradeSucceeded},
                            HookWork{HookEvent::VerifyFailed}, HookWork{HookEvent::UpgradeFailed}));
    EXPECT_EQ(wakes, 1);
}

TEST_F(WizardHooksTest, ProgressCopiesThePercentDuringTheCall) {
    std::int32_t percent = 37;
    hooks.OnProgress(reinterpret_cast<std::intptr_t>(&percent));
    percent = -1;        // the caller's variable changes once the call has returned
    hooks.OnProgress(0); // no pointer: nothing to report
    EXPECT_THAT(WizardHookQueue().TakeAll(), ElementsAre(HookWork{HookEvent::Progress, 37}));
}

} // namespace
} // namespace tarnvel
