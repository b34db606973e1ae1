#include "wizard/wizard_hooks.h"

#include "wizard/hook_queue.h"

namespace tarnvel {

namespace {

template <HookEvent event> void Report(std::intptr_t) {
    WizardHookQueue().Push({event});
}

// The percentage lives on the caller's stack only during the call: copy it now.
void ReportProgress(std::intptr_t value) {
    const auto* percent = reinterpret_cast<const std::int32_t*>(value);
    if (percent)
        WizardHookQueue().Push({HookEvent::Progress, *percent});
}

// Slots the controller never calls.
void Ignore(std::intptr_t) {}

} // namespace

DownloadHooks WizardHooks() {
    DownloadHooks hooks;
    hooks.OnDeviceMode = &Ignore;
    hooks.OnReserved1 = &Ignore;
    hooks.OnDeviceInfo = &Ignore;
    hooks.OnDeviceLost = &Ignore;
    hooks.OnVerifyPassed = &Report<HookEvent::VerifyPassed>;
    hooks.OnVerifyFailed = &Report<HookEvent::VerifyFailed>;
    hooks.OnUpgradeStarted = &Report<HookEvent::UpgradeStarted>;
    hooks.OnReserved7 = &Ignore;
    hooks.OnProgress = &ReportProgress;
    hooks.OnUpgradeSucceeded = &Report<HookEvent::UpgradeSucceeded>;
    hooks.OnUpgradeFailed = &Report<HookEvent::UpgradeFailed>;
    hooks.OnReserved11 = &Ignore;
    hooks.OnUpgradeBegin = &Report<HookEvent::UpgradeBegin>;
    return hooks;
}

} // namespace tarnvel
