// The page slider: the strip of three pages moved in steps of a 20 ms timer. Plain C++.
#pragma once

namespace tarnvel {

inline constexpr int kPageCount = 3;
inline constexpr int kPageWidth = 720;
inline constexpr int kStripWidth = 2160;
inline constexpr int kStripHeight = 334;

constexpr bool IsPage(int page) {
    return page >= 0 && page < kPageCount;
}

// The strip's x inside its container when the page is shown: 0, -720, -1440.
constexpr int PageLeft(int page) {
    return -kPageWidth * page;
}

class PageSlider {
public:
    // A slide always starts from the page last arrived at, even when another slide is under way.
    void Start(int fromPage, int toPage);

    struct Step {
        int x;        // where the strip now stands
        bool arrived; // the slide has reached its page: stop the timer
    };
    Step Tick();

    bool Running() const { return running_; }
    int X() const { return x_; }
    int TargetX() const { return targetX_; }

private:
    int x_ = 0;
    int targetX_ = 0;
    bool running_ = false;
};

} // namespace tarnvel
