// Small hand-checked cases: byte orders of the ink formats, the fold, the
// one-bit addressing, the entry forms, the grey curves and the cache's
// treatment of white.
#include "conversion_rig.h"
#include "core/lut_block.h"

#include <gtest/gtest.h>

namespace vrel::test {
namespace {

// A context whose every grid node holds the same inks, so that every colour
// converts to exactly those inks.
std::unique_ptr<TestContext> constantInks(int16_t method, std::vector<uint8_t> inks) {
    auto context = std::make_unique<TestContext>(method);
    const std::vector<uint8_t> nodes = defaultNodes();
    std::vector<uint8_t> grid;
    for (size_t i = 0; i < nodes.size() * nodes.size() * nodes.size(); ++i) {
        grid.insert(grid.end(), inks.begin(), inks.end());
    }
    context->setTable(static_cast<int>(inks.size()), nodes, grid);
    return context;
}

TEST(WorkedExamples, InkFormatsPlaceEachInkAtItsByte) {
    auto context = constantInks(4, {10, 20, 30, 40});
    const uint8_t rgb[3] = {1, 2, 3};
    uint8_t out[4];
    ASSERT_EQ(VrelBitmapColorConversion(3, 13, rgb, out, 1, 0, 0, 0, context->get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{10, 20, 30, 40}));
    ASSERT_EQ(VrelBitmapColorConversion(3, 15, rgb, out, 1, 0, 0, 0, context->get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{40, 30, 20, 10}));
    // Bgrx32: folded red in byte 2, byte 3 untouched.
    uint8_t bgrx[4] = {0xee, 0xee, 0xee, 0xee};
    ASSERT_EQ(VrelBitmapColorConversion(3, 1, rgb, bgrx, 1, 0, 0, 0, context->get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(bgrx, bgrx + 4), (std::vector<uint8_t>{185, 195, 205, 0xee}));

    auto six = constantInks(6, {10, 20, 30, 40, 50, 60});
    uint8_t out6[6];
    ASSERT_EQ(VrelBitmapColorConversion(3, 18, rgb, out6, 1, 0, 0, 0, six->get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(out6, out6 + 6), (std::vector<uint8_t>{40, 30, 20, 10, 60, 50}));
    auto seven = constantInks(7, {10, 20, 30, 40, 50, 60, 70});
    uint8_t out7[7];
    ASSERT_EQ(VrelBitmapColorConversion(3, 21, rgb, out7, 1, 0, 0, 0, seven->get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(out7, out7 + 7),
              (std::vector<uint8_t>{40, 30, 20, 10, 70, 60, 50}));
}

TEST(WorkedExamples, FoldTakesBlackIntoEveryColour) {
    const uint8_t rgb[3] = {90, 80, 70};
    uint8_t out[3];
    auto strong = constantInks(4, {200, 0, 0, 100});
    ASSERT_EQ(VrelBitmapColorConversion(3, 3, rgb, out, 1, 0, 0, 0, strong->get()), 0);
    EXPECT_EQ(out[0], 0);   // 255 - min(255, 300)
    EXPECT_EQ(out[1], 155); // 255 - 100
    auto weak = constantInks(4, {100, 0, 0, 100});
    ASSERT_EQ(VrelBitmapColorConversion(3, 3, rgb, out, 1, 0, 0, 0, weak->get()), 0);
    EXPECT_EQ(out[0], 55);
}

TEST(WorkedExamples, MonoRunsAddressBitsMostSignificantFirst) {
    TestContext context(4);
    std::vector<uint8_t> entries(768, 0);
    const uint8_t clear[4] = {1, 2, 3, 4}, set[4] = {9, 8, 7, 6};
    std::copy(clear, clear + 4, entries.begin());
    std::copy(set, set + 4, entries.begin() + 4);
    context.setPrepared(4, entries);

    // Count 16, skips 2 and 3: pixels 2..12, bit 5 of byte 0 to bit 3 of byte 1.
    const uint8_t row[2] = {0x20, 0x08}; // only those two bits set
    std::vector<uint8_t> dst = guardBuffer(64);
    const std::vector<uint8_t> before = dst;
    ASSERT_EQ(VrelBitmapColorConversion(10, 11, row, dst.data(), 16, 2, 3, 0, context.get()), 0);
    for (int p = 0; p < 16; ++p) {
        const uint8_t* got = &dst[4 * p];
        if (p < 2 || p > 12) {
            EXPECT_TRUE(std::equal(got, got + 4, &before[4 * p])) << "pixel " << p;
        } else {
            const uint8_t* want = (p == 2 || p == 12) ? set : clear;
            EXPECT_TRUE(std::equal(got, got + 4, want)) << "pixel " << p;
        }
    }
    // Count 8, skips 2 and 3: pixels 2..4 from bits 5, 4, 3 of one byte.
    const uint8_t one[1] = {0x28}; // bits 5 and 3
    dst = guardBuffer(64);
    ASSERT_EQ(VrelBitmapColorConversion(10, 13, one, dst.data(), 8, 2, 3, 0, context.get()), 0);
    EXPECT_TRUE(std::equal(&dst[8], &dst[12], set));
    EXPECT_TRUE(std::equal(&dst[12], &dst[16], clear));
    EXPECT_TRUE(std::equal(&dst[16], &dst[20], set));
    const std::vector<uint8_t> guard = guardBuffer(64);
    EXPECT_TRUE(std::equal(dst.begin(), dst.begin() + 8, guard.begin()));
    EXPECT_TRUE(std::equal(dst.begin() + 20, dst.end(), guard.begin() + 20));
    // 0xA0, count 3: entry 1, entry 0, entry 1.
    const uint8_t a0[1] = {0xa0};
    dst = guardBuffer(64);
    ASSERT_EQ(VrelBitmapColorConversion(10, 15, a0, dst.data(), 3, 0, 0, 0, context.get()), 0);
    EXPECT_TRUE(std::equal(&dst[0], &dst[4], set));
    EXPECT_TRUE(std::equal(&dst[4], &dst[8], clear));
    EXPECT_TRUE(std::equal(&dst[8], &dst[12], set));
}

TEST(WorkedExamples, EntryFormsDependOnTheGroup) {
    TestContext context(4);
    std::vector<uint8_t> entries(4 * 32768, 0);
    const uint8_t first[4] = {10, 20, 30, 40}, last[4] = {5, 6, 7, 8};
    std::copy(first, first + 4, entries.begin());
    std::copy(last, last + 4, entries.end() - 4);
    context.setPrepared(1, entries);
    // 15-bit words 0x8000, 0x0000, 0xFFFF: entries 0, 0, 32767.
    const uint8_t words[6] = {0x00, 0x80, 0x00, 0x00, 0xff, 0xff};
    uint8_t out[12];
    ASSERT_EQ(VrelBitmapColorConversion(4, 15, words, out, 3, 0, 0, 0, context.get()), 0);
    EXPECT_TRUE(std::equal(out, out + 4, first));
    EXPECT_TRUE(std::equal(out + 4, out + 8, first));
    EXPECT_TRUE(std::equal(out + 8, out + 12, last));
    // Index8 entry 10, 20, 30, 40: the ink group copies it whole, the forced
    // three-channel path writes 0, 10, 20, 30.
    const uint8_t index[1] = {0};
    ASSERT_EQ(VrelBitmapColorConversion(7, 15, index, out, 1, 0, 0, 0, context.get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{10, 20, 30, 40}));
    context.forceThreeChannel();
    ASSERT_EQ(VrelBitmapColorConversion(7, 5, index, out, 1, 0, 0, 0, context.get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0, 10, 20, 30}));
}

TEST(WorkedExamples, GreyCurvesGiveBlackOrItsInverse) {
    TestContext context(1); // identity curves
    const uint8_t grey[1] = {200};
    uint8_t out[4] = {0xee, 0xee, 0xee, 0xee};
    ASSERT_EQ(VrelBitmapColorConversion(9, 11, grey, out, 1, 0, 0, 0, context.get()), 0);
    EXPECT_EQ(out[0], 200);
    ASSERT_EQ(VrelBitmapColorConversion(9, 9, grey, out, 1, 0, 0, 0, context.get()), 0);
    EXPECT_EQ(out[0], 55);
    EXPECT_EQ(out[1], 0xee);
    ASSERT_EQ(VrelBitmapColorConversion(9, 12, grey, out, 1, 0, 0, 0, context.get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{55, 0xee, 0xee, 0xee}));
}

// White under the default key layout is the key every slot starts with: at
// the start of a run it comes from the register, later from slot 4095, and
// only once another colour has been stored there is it interpolated.
TEST(WorkedExamples, WhiteIsAnsweredFromRegisterAndSlotUntilTheSlotIsReused) {
    RigOptions options;
    options.method = 4;
    options.curveSeed = 3;
    Rig rig(options);
    const std::array<uint8_t, 3> c = rig.reference.preCorrect(255, 255, 255);
    const std::array<uint8_t, 8> whiteInks = rig.reference.interpolate(c[0], c[1], c[2], 4);
    ASSERT_NE(whiteInks, (std::array<uint8_t, 8>{})) << "the table must not give white zero inks";

    const uint8_t run1[6] = {255, 255, 255, 1, 2, 3};
    uint8_t out[8];
    ASSERT_EQ(VrelBitmapColorConversion(3, 13, run1, out, 2, 0, 0, 0, rig.context.get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0, 0, 0, 0}));
    const uint8_t run2[6] = {1, 2, 3, 255, 255, 255};
    ASSERT_EQ(VrelBitmapColorConversion(3, 13, run2, out, 2, 0, 0, 0, rig.context.get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(out + 4, out + 8), (std::vector<uint8_t>{0, 0, 0, 0}));
    // (0x1F, 0x2F, 0x3F) falls into slot 4095 and replaces its entry.
    const uint8_t run3[9] = {0x1f, 0x2f, 0x3f, 1, 2, 3, 255, 255, 255};
    uint8_t out3[12];
    ASSERT_EQ(VrelBitmapColorConversion(3, 13, run3, out3, 3, 0, 0, 0, rig.context.get()), 0);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(out3[8 + k], whiteInks[k]) << "ink " << k;
    }
}

TEST(WorkedExamples, GreyAndEqualColourShareOneCacheEntry) {
    RigOptions options;
    options.method = 4;
    options.curveSeed = 8;
    Rig rig(options);
    const uint8_t grey[1] = {77};
    const uint8_t rgb[3] = {77, 77, 77};
    uint8_t a[4], b[4];
    ASSERT_EQ(VrelBitmapColorConversion(9, 13, grey, a, 1, 0, 0, 0, rig.context.get()), 0);
    // Spoil the table: a second conversion can only be right from the cache.
    auto* lut = static_cast<uint8_t*>(rig.context->groups[0].lutBlock.address);
    std::fill(lut + sizeof(LutBlock), lut + rig.context.lutSize(), 0x99);
    ASSERT_EQ(VrelBitmapColorConversion(3, 13, rgb, b, 1, 0, 0, 0, rig.context.get()), 0);
    EXPECT_EQ(std::vector<uint8_t>(a, a + 4), std::vector<uint8_t>(b, b + 4));
    const std::array<uint8_t, 3> c = rig.reference.preCorrect(77, 77, 77);
    const std::array<uint8_t, 8> inks = rig.reference.interpolate(c[0], c[1], c[2], 4);
    EXPECT_EQ(std::vector<uint8_t>(a, a + 4), std::vector<uint8_t>(inks.begin(), inks.begin() + 4));
}

} // namespace
} // namespace vrel::test
