// The buffer extents the harnesses allocate: the run convention in 16 bits
// and the write pattern of each kernel. A wrong extent would either hide an
// overrun (too large) or report a false one (too small).
#include "run_extents.h"

#include <gtest/gtest.h>

namespace {

using namespace vrel::hardening;

TEST(RunExtents, ProcessedPixelsFollowSixteenBitSignedArithmetic) {
    EXPECT_EQ(processedPixels({16, 2, 3, 0}), 11);
    EXPECT_EQ(lastPixel({16, 2, 3, 0}), 12);
    EXPECT_EQ(processedPixels({10, 4, 6, 0}), 0);
    EXPECT_LT(processedPixels({0x8005, 2, 1, 0}), 0);      // 32770 counts as negative
    EXPECT_EQ(processedPixels({0x12340005u, 0, 0, 0}), 5); // high bits of count ignored
    EXPECT_EQ(processedPixels({5, 0, 0xffff, 0}), 6);      // 5 - 65535 wraps to 6
    EXPECT_LT(processedPixels({100, 20000, 10000, 0}), 0);
    EXPECT_EQ(processedPixels({100, 20000, 30000, 0}), 15636); // -49900 wraps
}

TEST(RunExtents, BitmapExtentsFollowTheKernelOfEachPairing) {
    const RunShape run{16, 2, 3, 0}; // pixels 2..12
    EXPECT_EQ(bitmapSourceBytes(3, 13, run, false), 13u * 3);
    EXPECT_EQ(bitmapDestinationBytes(3, 13, run, false), 13u * 4);
    EXPECT_EQ(bitmapSourceBytes(3, 13, {16, 2, 3, 5}, false), 12u * 5 + 3);
    // Mono1: bit rows, whole four-byte entries even into one-byte Gray8.
    EXPECT_EQ(bitmapSourceBytes(10, 9, run, false), 2u);
    EXPECT_EQ(bitmapDestinationBytes(10, 9, run, false), 13u * 4);
    // Grey curve into one byte per pixel; Gray8 into Black32 writes nothing.
    EXPECT_EQ(bitmapDestinationBytes(9, 11, run, false), 13u);
    EXPECT_EQ(bitmapDestinationBytes(9, 12, run, false), 0u);
    // Direct path: skipped output pixels at their own size, then 4 bytes each.
    EXPECT_EQ(bitmapDestinationBytes(7, 3, run, true), 2u * 3 + 11u * 4);
    EXPECT_EQ(bitmapDestinationBytes(7, 3, run, false), 0u);
    // Refused output formats and input formats without a kernel: nothing.
    EXPECT_EQ(bitmapDestinationBytes(3, 22, run, false), 0u);
    EXPECT_EQ(bitmapDestinationBytes(3, 4, run, false), 0u);
    EXPECT_EQ(bitmapDestinationBytes(13, 13, run, false), 0u);
    EXPECT_EQ(bitmapDestinationBytes(3, 21, run, false), 13u * 7);
}

TEST(RunExtents, LineCorrectionAndOnDotExtents) {
    const RunShape run{10, 2, 3, 0}; // pixels 2..6
    EXPECT_EQ(linePlaneBytes(4, 3, run), 7u);
    EXPECT_EQ(lineSourceBytes(4, 22, run), 6u * 4 + 4);
    EXPECT_EQ(linePlaneBytes(1, 3, run), 0u); // black line takes Gray8 only
    EXPECT_EQ(linePlaneBytes(3, 3, run), 0u); // method 3 refused
    EXPECT_EQ(planesWritten(6), 6);
    EXPECT_EQ(correctionBytes(4, run), 7u * 2);
    EXPECT_EQ(correctionBytes(7, run), 0u);
    EXPECT_EQ(correctionBytes(3, {10, -1, 0, 0}), 0u);
    EXPECT_EQ(onDotPlaneBytes(17), 3u);
    EXPECT_EQ(onDotPlaneBytes(0), 0u);
    EXPECT_EQ(onDotPlaneBytes(-4), 0u);
}

} // namespace
