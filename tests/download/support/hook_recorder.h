// An event sink that records each event (its old hook name, value, time), for tests that watch
// the controller from outside. One recorder at a time, like the controller. The change of the
// close answer is not recorded.
#pragma once

#include "download/download_controller.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarnvel::testing {

struct HookCall {
    std::string name;
    int value; // OnProgress: the percent; otherwise 0
    std::chrono::steady_clock::time_point when;
};

class HookRecorder final : public DownloadEventSink {
public:
    HookRecorder();
    ~HookRecorder();
    HookRecorder(const HookRecorder&) = delete;
    HookRecorder& operator=(const HookRecorder&) = delete;

    void OnDownloadEvent(const DownloadEvent& event) override;
    // The sink to hand the controller.
    DownloadEventSink* Sink() { return this; }

    // Runs inside the named event's delivery, on its thread, before it is recorded.
    void OnCall(std::function<void(const HookCall&)> action);

    std::vector<HookCall> Calls() const;
    std::vector<std::string> Names() const; // in order, OnProgress calls left out
    std::vector<int> Progress() const;      // the OnProgress percents in order
    int Count(const std::string& name) const;
    // Waits until the hook has been called `times` times; false on timeout.
    bool WaitFor(const std::string& name, std::chrono::milliseconds timeout, int times = 1) const;
    void Clear();

    static void Record(const char* name, int value);

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<HookCall> calls_;
    std::function<void(const HookCall&)> action_;
};

} // namespace tarnvel::testing
