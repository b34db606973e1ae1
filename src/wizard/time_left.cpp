#include "wizard/time_left.h"

#include <algorithm>
#include <cmath>

namespace tarnvel {

namespace {

// Before this much of the run the rate says little: the engine's first steps are not writing.
constexpr int kMinPercent = 5;
constexpr std::uint64_t kMinMs = 3000;
// Each report moves the rate by this share of the difference, so that one slow or fast block
// does not make the estimate jump.
constexpr double kSmoothing = 0.1;

} // namespace

void TimeLeftEstimate::OnProgress(int percent, std::uint64_t nowMs) {
    if (!started_ || percent < lastPercent_) {
        started_ = true;
        startPercent_ = lastPercent_ = percent;
        startMs_ = lastMs_ = nowMs;
        rate_ = 0;
        return;
    }
    if (percent == lastPercent_ || nowMs <= lastMs_) {
        if (percent >= 100)
            rate_ = 0;
        return;
    }
    if (rate_ == 0) {
        // Shown first from the average over all of the run seen so far.
        if (percent - startPercent_ >= kMinPercent && nowMs - startMs_ >= kMinMs)
            rate_ = static_cast<double>(percent - startPercent_) / static_cast<double>(nowMs - startMs_);
    } else {
        const double recent =
            static_cast<double>(percent - lastPercent_) / static_cast<double>(nowMs - lastMs_);
        rate_ += kSmoothing * (recent - rate_);
    }
    lastPercent_ = percent;
    lastMs_ = nowMs;
    if (percent >= 100)
        rate_ = 0;
}

void TimeLeftEstimate::Reset() {
    *this = TimeLeftEstimate();
}

std::optional<int> TimeLeftEstimate::SecondsLeft() const {
    if (rate_ <= 0)
        return std::nullopt;
    const double ms = static_cast<double>(100 - lastPercent_) / rate_;
    return std::max(1, static_cast<int>(std::lround(ms / 1000.0)));
}

std::wstring TimeLeftText(int seconds) {
    std::wstring text = L"剩余约 ";
    if (seconds >= 60)
        text += std::to_wstring(seconds / 60) + L" 分 ";
    text += std::to_wstring(seconds % 60) + L" 秒";
    return text;
}

} // namespace tarnvel
