// A DownloadHooks table whose hooks record each call (name, value, time), for tests that watch
// the controller from outside. One recorder at a time, like the controller.
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
    int value; // OnProgress: the percent it pointed to; otherwise the value passed
    std::chrono::steady_clock::time_point when;
};

class HookRecorder {
public:
    HookRecorder();
    ~HookRecorder();
    HookRecorder(const HookRecorder&) = delete;
    HookRecorder& operator=(const HookRecorder&) = delete;

    static DownloadHooks Hooks();

    // Runs inside the named hook's call, on the hook's thread, before it is recorded.
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
