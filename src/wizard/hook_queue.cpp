#include "wizard/hook_queue.h"

#include <utility>

namespace tarnvel {

void HookQueue::Attach(Wake wake) {
    std::lock_guard<std::mutex> guard(lock_);
    wake_ = std::move(wake);
    pending_.clear();
    wakePosted_ = false;
    wakeMissed_ = false;
}

void HookQueue::Detach() {
    std::lock_guard<std::mutex> guard(lock_);
    wake_ = nullptr;
    pending_.clear();
    wakePosted_ = false;
    wakeMissed_ = false;
}

void HookQueue::Push(HookWork work) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!wake_)
        return;
    if (work.event == HookEvent::Progress && !pending_.empty() &&
        pending_.back().event == HookEvent::Progress)
        pending_.back() = work;
    else
        pending_.push_back(work);
    PostWake();
}

void HookQueue::Nudge() {
    std::lock_guard<std::mutex> guard(lock_);
    if (wake_)
        PostWake();
}

void HookQueue::PostWake() {
    // One wake-up covers everything queued until the UI thread takes it; a failed post is tried
    // again with the next work, and the UI thread looks for it when it runs out of messages.
    if (!wakePosted_) {
        wakePosted_ = wake_();
        wakeMissed_ = !wakePosted_;
    }
}

std::vector<HookWork> HookQueue::TakeAll() {
    std::lock_guard<std::mutex> guard(lock_);
    wakePosted_ = false;
    wakeMissed_ = false;
    return std::exchange(pending_, {});
}

bool HookQueue::WakeMissed() {
    std::lock_guard<std::mutex> guard(lock_);
    return wakeMissed_;
}

HookQueue& WizardHookQueue() {
    static HookQueue queue;
    return queue;
}

} // namespace tarnvel
