// The time left while a phone is written, estimated from the rate of the progress reports. Plain
// C++: the times are given in, in milliseconds from any fixed origin.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnvel {

class TimeLeftEstimate {
public:
    // A report of the download's percentage at the given time; the first one after a Reset is
    // where the estimate starts from.
    void OnProgress(int percent, std::uint64_t nowMs);
    // Before the next phone, and once a run has ended.
    void Reset();

    // Whole seconds left; nothing until enough of the run has been seen to tell, and at 100 %.
    std::optional<int> SecondsLeft() const;

private:
    bool started_ = false;
    int startPercent_ = 0;
    std::uint64_t startMs_ = 0;
    int lastPercent_ = 0;
    std::uint64_t lastMs_ = 0;
    double rate_ = 0; // percent a millisecond, smoothed; 0 while not shown
};

// "剩余约 1 分 20 秒", or "剩余约 45 秒" under a minute.
std::wstring TimeLeftText(int seconds);

} // namespace tarnvel
