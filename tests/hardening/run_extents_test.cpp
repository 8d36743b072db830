// The buffer extents the harnesses allocate: the line the count describes, in
// the write pattern of each kernel, whatever the skips. A wrong extent would
// either hide an overrun (too large) or report a false one (too small).
#include "run_extents.h"

#include <gtest/gtest.h>

namespace {

using namespace vrel::test;

TEST(RunExtents, BitmapExtentsHoldTheCountInTheLayoutOfEachPairing) {
    const RunShape run{16, 2, 3, 0};
    EXPECT_EQ(bitmapSourceBytes(3, 13, run, false), 16u * 3);
    EXPECT_EQ(bitmapDestinationBytes(3, 13, run, false), 16u * 4);
    EXPECT_EQ(bitmapSourceBytes(3, 13, {16, 2, 3, 5}, false), 15u * 5 + 3);
    // Skips never widen a buffer: 5 - 65535 wraps to 6 in 16 bits.
    EXPECT_EQ(bitmapDestinationBytes(3, 13, {5, 0, 0xffff, 0}, false), 5u * 4);
    // The bitmap conversion's count is 32 bits wide.
    EXPECT_EQ(bitmapSourceBytes(3, 13, {70000, 0, 0, 0}, false), 70000u * 3);
    // Mono1: bit rows, whole four-byte entries even into one-byte Gray8.
    EXPECT_EQ(bitmapSourceBytes(10, 9, run, false), 2u);
    EXPECT_EQ(bitmapDestinationBytes(10, 9, run, false), 16u * 4);
    // Grey curve into one byte per pixel; Gray8 into Black32 writes nothing.
    EXPECT_EQ(bitmapDestinationBytes(9, 11, run, false), 16u);
    EXPECT_EQ(bitmapDestinationBytes(9, 12, run, false), 0u);
    // Direct path: skipped output pixels at their own size, then 4 bytes each.
    EXPECT_EQ(bitmapDestinationBytes(7, 3, run, true), 2u * 3 + 14u * 4);
    EXPECT_EQ(bitmapDestinationBytes(7, 3, {4, 9, 0, 0}, true), 4u * 3);
    EXPECT_EQ(bitmapDestinationBytes(7, 3, run, false), 0u);
    // Refused output formats and input formats without a kernel: nothing.
    EXPECT_EQ(bitmapDestinationBytes(3, 22, run, false), 0u);
    EXPECT_EQ(bitmapDestinationBytes(3, 4, run, false), 0u);
    EXPECT_EQ(bitmapDestinationBytes(13, 13, run, false), 0u);
    EXPECT_EQ(bitmapDestinationBytes(3, 21, run, false), 16u * 7);
}

TEST(RunExtents, LineCorrectionAndOnDotExtents) {
    const RunShape run{10, 2, 3, 0};
    EXPECT_EQ(linePlaneBytes(4, 3, run), 10u);
    EXPECT_EQ(lineSourceBytes(4, 22, run), 9u * 4 + 4);
    EXPECT_EQ(linePlaneBytes(4, 3, {0x10005, 0, 0xffff, 0}), 5u); // a 16-bit count
    EXPECT_EQ(linePlaneBytes(1, 3, run), 0u);                     // black line takes Gray8 only
    EXPECT_EQ(linePlaneBytes(3, 3, run), 0u);                     // method 3 refused
    EXPECT_EQ(planesWritten(6), 6);
    EXPECT_EQ(correctionBytes(4, run), 10u * 2);
    EXPECT_EQ(correctionBytes(7, run), 0u);
    EXPECT_EQ(correctionBytes(3, {0, 0, 0, 0}), 0u);
    EXPECT_EQ(onDotPlaneBytes(17), 3u);
    EXPECT_EQ(onDotPlaneBytes(0), 0u);
    EXPECT_EQ(onDotPlaneBytes(-4), 0u);
}

} // namespace
