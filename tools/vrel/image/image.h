// An 8-bit image in memory: interleaved channels, rows without padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrel::cli {

struct Image {
    int width = 0;
    int height = 0;
    int channels = 0; // 1 grey, 3 RGB, or the number of inks
    std::vector<uint8_t> pixels;

    Image() = default;
    Image(int w, int h, int c)
        : width(w), height(h), channels(c),
          pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) *
                     static_cast<std::size_t>(c),
                 0) {}

    std::size_t rowBytes() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    }
    uint8_t* row(int y) { return pixels.data() + static_cast<std::size_t>(y) * rowBytes(); }
    const uint8_t* row(int y) const {
        return pixels.data() + static_cast<std::size_t>(y) * rowBytes();
    }
};

} // namespace vrel::cli
