// The way from the download controller's and the engine's threads to the UI thread. The hooks
// only record what happened and ask the UI thread to wake; they never wait for it, so they cannot
// meet the UI thread waiting for the controller. Plain C++.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace tarnvel {

enum class HookEvent : std::uint8_t {
    VerifyPassed,
    VerifyFailed,
    UpgradeStarted,
    Progress,
    UpgradeSucceeded,
    UpgradeFailed,
    UpgradeBegin,
};

struct HookWork {
    HookEvent event;
    std::int32_t value = 0; // the percentage, for Progress

    bool operator==(const HookWork&) const = default;
};

class HookQueue {
public:
    // Posts the UI thread's wake-up; false when it could not be posted. Called under the queue's
    // lock, so it must not wait for anything.
    using Wake = std::function<bool()>;

    // From Attach to Detach the work is kept and the wake-up posted; outside, work is dropped.
    void Attach(Wake wake);
    void Detach();

    // Any thread. Work comes out in the order it went in; a progress report that follows another
    // not yet taken replaces it, since only the latest value would be shown.
    void Push(HookWork work);

    // Any thread: wakes the UI thread with no work to carry, to look at the controller again.
    void Nudge();

    // The UI thread, on its wake-up: everything pushed so far, oldest first.
    std::vector<HookWork> TakeAll();

    // The UI thread, once its messages are handled: true when a wake-up could not be posted, so
    // that it takes the work (or the nudge) that waits without one.
    bool WakeMissed();

private:
    // With lock_ held and attached.
    void PostWake();

    std::mutex lock_;
    std::vector<HookWork> pending_;
    Wake wake_;
    bool wakePosted_ = false;
    bool wakeMissed_ = false;
};

// The one queue of the process: the hooks carry no context, so they find it here.
HookQueue& WizardHookQueue();

} // namespace tarnvel
