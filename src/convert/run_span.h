// Run arithmetic shared by every conversion entry: how many pixels a run
// converts and how far apart its source pixels lie.
#pragma once

#include "core/pixel_formats.h"

#include <cstddef>
#include <cstdint>

namespace vrel {

// Pixels converted by a run: count - skipStart - skipEnd, computed on 16 bits
// and read as a signed value, so that 0 or less converts nothing (and a
// stretch of more than 32767 pixels converts nothing either; a count above
// 65535 converts its difference modulo 65536). Whatever the 16-bit
// difference gives, no pixel at or beyond count is ever converted: skips
// that together reach count (added without wrapping) leave nothing to
// convert. A negative skipStart would start the run before its first pixel,
// outside the caller's buffers: such a run converts nothing.
inline int32_t convertedPixels(uint32_t count, int16_t skipStart, uint16_t skipEnd) {
    if (skipStart < 0) {
        return 0;
    }
    const uint32_t skipped = static_cast<uint32_t>(skipStart) + skipEnd;
    if (skipped >= count) {
        return 0;
    }
    return static_cast<int16_t>(static_cast<uint16_t>(count - skipped));
}

// The source step of a run: the caller's step, or the input format's bytes
// per pixel when the caller gives 0. The format must be below kFormatCount.
inline uint32_t effectiveSourceStep(uint32_t sourceStep, uint32_t inFormat) {
    return sourceStep != 0 ? sourceStep : kPixelFormats[inFormat].bytesPerPixel;
}

// Address of pixel `index` of a run whose pixels lie `step` bytes apart; the
// index is sign-extended.
template <typename Byte> inline Byte* pixelAt(Byte* base, int32_t index, uint32_t step) {
    return base + static_cast<std::ptrdiff_t>(index) * static_cast<std::ptrdiff_t>(step);
}

} // namespace vrel
