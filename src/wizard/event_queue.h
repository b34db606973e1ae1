// The main window's way from the download controller's and the engine's threads to its UI
// thread: the controller's events are only recorded here, and the UI thread asked to wake; they
// never wait for it, so they cannot meet the UI thread waiting for the controller. Plain C++.
#pragma once

#include "download/download_events.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace tarnvel {

class EventQueue final : public DownloadEventSink {
public:
    // Posts the UI thread's wake-up; false when it could not be posted. Called under the queue's
    // lock, so it must not wait for anything.
    using Wake = std::function<bool()>;

    // From Attach to Detach the work is kept and the wake-up posted; outside, work is dropped.
    void Attach(Wake wake);
    void Detach();

    // Any thread: a change of the close answer becomes a Nudge, every other event a Push.
    void OnDownloadEvent(const DownloadEvent& event) override;

    // Any thread. Events come out in the order they went in; a progress report that follows
    // another not yet taken replaces it, since only the latest value would be shown.
    void Push(DownloadEvent event);

    // Any thread: wakes the UI thread with no work to carry, to look at the controller again.
    void Nudge();

    // The UI thread, on its wake-up: everything pushed so far, oldest first.
    std::vector<DownloadEvent> TakeAll();

    // The UI thread, once its messages are handled: true when a wake-up could not be posted, so
    // that it takes the work (or the nudge) that waits without one.
    bool WakeMissed();

private:
    // With lock_ held and attached.
    void PostWake();

    std::mutex lock_;
    std::vector<DownloadEvent> pending_;
    Wake wake_;
    bool wakePosted_ = false;
    bool wakeMissed_ = false;
};

} // namespace tarnvel
