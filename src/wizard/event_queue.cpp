#include "wizard/event_queue.h"

#include <utility>

namespace tarnvel {

void EventQueue::Attach(Wake wake) {
    std::lock_guard<std::mutex> guard(lock_);
    wake_ = std::move(wake);
    pending_.clear();
    wakePosted_ = false;
    wakeMissed_ = false;
}

void EventQueue::Detach() {
    std::lock_guard<std::mutex> guard(lock_);
    wake_ = nullptr;
    pending_.clear();
    wakePosted_ = false;
    wakeMissed_ = false;
}

void EventQueue::OnDownloadEvent(const DownloadEvent& event) {
    if (event.kind == DownloadEventKind::CloseAllowedChanged)
        Nudge(); // the UI thread asks the controller itself
    else
        Push(event);
}

void EventQueue::Push(DownloadEvent event) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!wake_)
        return;
    if (event.kind == DownloadEventKind::Progress && !pending_.empty() &&
        pending_.back().kind == DownloadEventKind::Progress)
        pending_.back() = event;
    else
        pending_.push_back(event);
    PostWake();
}

void EventQueue::Nudge() {
    std::lock_guard<std::mutex> guard(lock_);
    if (wake_)
        PostWake();
}

void EventQueue::PostWake() {
    // One wake-up covers everything queued until the UI thread takes it; a failed post is tried
    // again with the next work, and the UI thread looks for it when it runs out of messages.
    if (!wakePosted_) {
        wakePosted_ = wake_();
        wakeMissed_ = !wakePosted_;
    }
}

std::vector<DownloadEvent> EventQueue::TakeAll() {
    std::lock_guard<std::mutex> guard(lock_);
    wakePosted_ = false;
    wakeMissed_ = false;
    return std::exchange(pending_, {});
}

bool EventQueue::WakeMissed() {
    std::lock_guard<std::mutex> guard(lock_);
    return wakeMissed_;
}

} // namespace tarnvel
