#include "wizard/window_shape.h"

namespace tarnvel {

std::vector<PixelRun> ShapeRuns(const std::uint32_t* pixels, int width, int height, std::uint32_t key) {
    std::vector<PixelRun> runs;
    if (!pixels || width <= 0 || height <= 0)
        return runs;
    key &= 0xFFFFFF;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        int x = 0;
        while (x < width) {
            while (x < width && (row[x] & 0xFFFFFF) == key)
                ++x;
            if (x == width)
                break;
            const int start = x;
            while (x < width && (row[x] & 0xFFFFFF) != key)
                ++x;
            runs.push_back({start, x, y});
        }
    }
    return runs;
}

} // namespace tarnvel
