// Pixel format codes and their constant descriptors: the byte offset of each
// channel inside one pixel (0xFF where there is none) and the bytes per pixel.
#pragma once

#include <cstdint>

namespace vrel {

enum PixelFormat : uint32_t {
    Bgr24 = 0,
    Bgrx32 = 1,
    Xbgr32 = 2,
    Rgb24 = 3,
    Rgb555 = 4,
    Xrgb32 = 5,
    Index8 = 7,
    Gray8 = 9,
    Mono1 = 10,
    Black8 = 11,
    Black32 = 12,
    Cmyk32 = 13,
    Kymc32 = 15,
    Ink6 = 16,
    Ink6Reversed = 18,
    Ink7 = 19,
    Ink7Reversed = 21,
    BlackPixel32 = 22,
};

inline constexpr uint32_t kFormatCount = 23;
inline constexpr uint8_t kNoChannel = 0xff;

struct PixelFormatDescriptor {
    uint8_t offset[7];
    uint8_t bytesPerPixel;
};

extern const PixelFormatDescriptor kPixelFormats[kFormatCount];

// True for the five direct colour formats Bgr24, Bgrx32, Xbgr32, Rgb24, Xrgb32.
inline bool isDirectColourFormat(uint32_t f) {
    return f <= 3 || f == 5;
}
// True for the formats read as one grey byte by the interpolation kernels.
inline bool isGreyInputFormat(uint32_t f) {
    return f == Gray8 || f == BlackPixel32;
}

} // namespace vrel
