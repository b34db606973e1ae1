#include "wizard/page_slider.h"

namespace tarnvel {

void PageSlider::Start(int fromPage, int toPage) {
    x_ = PageLeft(fromPage);
    targetX_ = PageLeft(toPage);
    running_ = true;
}

PageSlider::Step PageSlider::Tick() {
    // Long ways back go three times as fast, so that returning from the result page takes 8 ticks.
    if (x_ > targetX_)
        x_ -= 120;
    else if (x_ < targetX_)
        x_ += targetX_ - x_ > kPageWidth ? 360 : 120;
    const bool arrived = x_ == targetX_;
    if (arrived)
        running_ = false;
    return {x_, arrived};
}

} // namespace tarnvel
