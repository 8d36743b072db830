// The synthetic pages of the benchmark suite, generated deterministically:
//   flat   - a white page with a few large uniform colour blocks and lines of
//            black text-like glyphs (text and graphics);
//   photo  - smooth gradients with mild per-pixel noise (millions of distinct
//            colours, neighbours similar);
//   random - uniformly random RGB (every new pixel a cache miss).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vrel::bench {

enum class Workload { Flat, Photo, Random };
inline constexpr Workload kWorkloads[] = {Workload::Flat, Workload::Photo, Workload::Random};

const char* workloadName(Workload w);

inline constexpr int kPageWidth = 4096;
inline constexpr int kPageHeight = 1024; // 4 Mpixel

struct Page {
    int width = 0;
    int height = 0;
    int bytesPerPixel = 0;
    std::vector<uint8_t> pixels; // rows of width * bytesPerPixel bytes, no padding

    size_t pixelCount() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
    size_t rowBytes() const {
        return static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
    }
    const uint8_t* row(int y) const { return pixels.data() + static_cast<size_t>(y) * rowBytes(); }
};

// An Rgb24 page of the workload (R, G, B per pixel).
Page makeRgbPage(Workload w, int width, int height);
// The same page as Xrgb32 (spare byte 0, then R, G, B).
Page toXrgb(const Page& rgb);

// The 4096 x 1024 pages, generated once per run.
const Page& rgbPage(Workload w);
const Page& xrgbPage(Workload w);

// Distinct colours of an Rgb24 page (to describe the workloads).
size_t distinctColours(const Page& rgb);

} // namespace vrel::bench
