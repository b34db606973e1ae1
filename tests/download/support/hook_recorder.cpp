#include "hook_recorder.h"

#include "harness/hook_names.h"

#include <algorithm>
#include <atomic>

namespace tarnvel::testing {

namespace {

std::atomic<HookRecorder*> g_recorder{nullptr};

} // namespace

HookRecorder::HookRecorder() {
    g_recorder = this;
}

HookRecorder::~HookRecorder() {
    g_recorder = nullptr;
}

void HookRecorder::OnDownloadEvent(const DownloadEvent& event) {
    if (const char* name = HookName(event.kind))
        Record(name, event.percent);
}

void HookRecorder::Record(const char* name, int value) {
    HookRecorder* recorder = g_recorder.load();
    if (recorder == nullptr)
        return;
    HookCall call{name, value, std::chrono::steady_clock::now()};
    std::function<void(const HookCall&)> action;
    {
        std::lock_guard lock(recorder->mutex_);
        action = recorder->action_;
    }
    if (action)
        action(call);
    {
        std::lock_guard lock(recorder->mutex_);
        recorder->calls_.push_back(std::move(call));
    }
    recorder->changed_.notify_all();
}

void HookRecorder::OnCall(std::function<void(const HookCall&)> action) {
    std::lock_guard lock(mutex_);
    action_ = std::move(action);
}

std::vector<HookCall> HookRecorder::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> HookRecorder::Names() const {
    std::vector<std::string> names;
    for (const auto& call : Calls()) {
        if (call.name != "OnProgress")
            names.push_back(call.name);
    }
    return names;
}

std::vector<int> HookRecorder::Progress() const {
    std::vector<int> values;
    for (const auto& call : Calls()) {
        if (call.name == "OnProgress")
            values.push_back(call.value);
    }
    return values;
}

int HookRecorder::Count(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(
        std::count_if(calls_.begin(), calls_.end(), [&](const HookCall& c) { return c.name == name; }));
}

bool HookRecorder::WaitFor(const std::string& name, std::chrono::milliseconds timeout, int times) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return std::count_if(calls_.begin(), calls_.end(),
                             [&](const HookCall& c) { return c.name == name; }) >= times;
    });
}

void HookRecorder::Clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

} // namespace tarnvel::testing
