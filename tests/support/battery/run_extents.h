// How many bytes each export may read or write for one run: the extents of
// the source, destination and plane buffers of a line of `count` pixels, in
// the layout of the kernel each format pairing reaches. They follow from the
// caller's side of the run alone (count, source step, formats), never from
// the engine's own count of converted pixels, so a run that reaches past
// count shows. The harnesses allocate every buffer at exactly this size, so
// that AddressSanitizer reports any access outside it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrel::test {

struct RunShape {
    uint32_t count = 0; // the whole value for the bitmap conversion, its low
                        // 16 bits for the line conversion and the correction
    int16_t skipStart = 0;
    uint16_t skipEnd = 0;
    uint32_t sourceStep = 0; // 0: the input format's bytes per pixel
};

// Bytes per pixel of a format, 0 for codes that have none (6, 8, 10, 14,
// 17, 20, above 22).
uint32_t bytesPerPixel(uint32_t format);

// VrelBitmapColorConversion. directPath: the context takes the direct path
// of the RGB output group (three-channel output forced by the record).
size_t bitmapSourceBytes(uint32_t inFormat, uint32_t outFormat, const RunShape& run,
                         bool directPath);
size_t bitmapDestinationBytes(uint32_t inFormat, uint32_t outFormat, const RunShape& run,
                              bool directPath);

// VrelLineColorConversion: planes written by a method (0 when refused), the
// bytes of the source line and of each written plane.
int planesWritten(int method);
size_t lineSourceBytes(int method, uint32_t format, const RunShape& run);
size_t linePlaneBytes(int method, uint32_t format, const RunShape& run);

// VrelBitmapColorCorrection: bytes of source and of destination.
size_t correctionBytes(uint32_t format, const RunShape& run);

// VrelOnDotBlack: bytes of each plane, (count + 7) / 8 for count >= 0.
size_t onDotPlaneBytes(int16_t count);

} // namespace vrel::test
