// The main window's shape and place: the runs of a picture that are not the key colour, and the
// window's origin centred on the screen. Plain C++.
#pragma once

#include <cstdint>
#include <vector>

namespace tarnvel {

struct PixelRun {
    int left;  // first pixel of the run
    int right; // one past its last pixel
    int y;

    bool operator==(const PixelRun&) const = default;
};

// Row by row, the runs of pixels whose colour (the low 24 bits, 0x00RRGGBB or 0x00BBGGRR alike)
// differs from key. pixels holds width x height values, top row first.
std::vector<PixelRun> ShapeRuns(const std::uint32_t* pixels, int width, int height, std::uint32_t key);

struct Origin {
    int x;
    int y;

    bool operator==(const Origin&) const = default;
};

// Each half truncated toward zero, as the window is placed on the primary display.
constexpr Origin CentredOrigin(int screenWidth, int screenHeight, int width, int height) {
    return {screenWidth / 2 - width / 2, screenHeight / 2 - height / 2};
}

} // namespace tarnvel
