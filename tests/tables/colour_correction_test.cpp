// The colour correction exports against the reference corrector, on tables
// built in memory: random grids with custom node positions, every input
// curve, both key layouts, long sequences of calls on one context.
#include "core/colour_cache.h"
#include "correction_harness.h"
#include "setup/derived_curves.h"
#include "resources/table_loading.h"
#include "table_fixtures.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <vector>

namespace vrel {
namespace {

using tables_test::CorrectionTable;
using tables_test::ReferenceCorrector;
using tables_test::ScratchContext;

// A random correction table on random node positions, loaded into group 1 of
// the context with the input curve of the given kind.
CorrectionTable loadRandomTable(EngineContext* context, std::mt19937& rng, uint16_t inputKind) {
    CorrectionTable t;
    const int inner = static_cast<int>(rng() % 20);
    std::set<uint8_t> positions = {0, 255};
    while (static_cast<int>(positions.size()) < inner + 2) {
        positions.insert(static_cast<uint8_t>(1 + rng() % 254));
    }
    t.table.nodes.assign(positions.begin(), positions.end());
    const size_t n = t.table.nodes.size();
    t.table.grid.resize(n * n * n * 3);
    for (auto& b : t.table.grid) {
        b = static_cast<uint8_t>(rng());
    }
    SettingsRecord settings{};
    settings.inputKind = inputKind;
    buildInputCurve(context->inputCurve, &settings);
    std::copy(context->inputCurve, context->inputCurve + 256, t.inputCurve.begin());
    EXPECT_EQ(buildTableGroup(context, 1, 3, static_cast<uint8_t>(n), t.table.nodes.data(),
                              t.table.grid.data()),
              0);
    return t;
}

TEST(ColourCorrection, MatchesTheReferenceOverLongSequencesOfRuns) {
    const uint16_t kinds[] = {10, 18, 22, 14};
    for (uint32_t seed = 1; seed <= 8; ++seed) {
        std::mt19937 rng(seed);
        ScratchContext context;
        const CorrectionTable table = loadRandomTable(context.get(), rng, kinds[seed % 4]);
        ReferenceCorrector model(table, context->kernelFlags);
        ASSERT_TRUE(tables_test::runRandomCorrections(context.get(), model, rng, 400))
            << "seed " << seed;
    }
}

TEST(ColourCorrection, MatchesTheReferenceWithTheOtherKeyLayout) {
    for (uint32_t seed = 20; seed <= 22; ++seed) {
        std::mt19937 rng(seed);
        ScratchContext context;
        context->kernelFlags = kKernelFlagsPrepared;
        const CorrectionTable table = loadRandomTable(context.get(), rng, 0);
        ReferenceCorrector model(table, context->kernelFlags);
        ASSERT_TRUE(tables_test::runRandomCorrections(context.get(), model, rng, 300))
            << "seed " << seed;
    }
}

TEST(ColourCorrection, WhiteIsAnsweredFromTheRegistersAndItsFreshSlot) {
    std::mt19937 rng(5);
    ScratchContext context;
    const CorrectionTable table = loadRandomTable(context.get(), rng, 0);
    const auto tableWhite = table.correct(255, 255, 255);
    ASSERT_NE(tableWhite, (std::array<uint8_t, 3>{255, 255, 255}));

    // First pixel of a run, then later in a run from the untouched slot 4095.
    uint8_t run[9] = {255, 255, 255, 1, 2, 3, 255, 255, 255};
    ASSERT_EQ(VrelBitmapColorCorrection(VrelFormatRgb24, run, run, 3, 0, 0, context.get()), 0);
    EXPECT_EQ(run[0], 255);
    EXPECT_EQ(run[1], 255);
    EXPECT_EQ(run[2], 255);
    EXPECT_EQ(run[6], 255);
    EXPECT_EQ(run[8], 255);

    // (0x1f, 0x2f, 0x3f) shares white's slot: once it is stored there, white
    // in the middle of a run is interpolated like any colour.
    uint8_t evict[9] = {0x1f, 0x2f, 0x3f, 255, 255, 255, 0, 0, 0};
    ASSERT_EQ(VrelBitmapColorCorrection(VrelFormatRgb24, evict, evict, 2, 0, 0, context.get()), 0);
    EXPECT_EQ(evict[3], tableWhite[0]);
    EXPECT_EQ(evict[4], tableWhite[1]);
    EXPECT_EQ(evict[5], tableWhite[2]);
    const auto c = table.correct(0x1f, 0x2f, 0x3f);
    EXPECT_EQ(evict[0], c[0]);
}

TEST(ColourCorrection, ColoursSharingASlotEvictEachOtherAndStayCorrect) {
    std::mt19937 rng(9);
    ScratchContext context;
    const CorrectionTable table = loadRandomTable(context.get(), rng, 0);
    const auto a = table.correct(0x12, 0x34, 0x56);
    const auto b = table.correct(0x22, 0x44, 0x66);
    ASSERT_NE(a, b);
    std::vector<uint8_t> run;
    for (int i = 0; i < 10; ++i) {
        const uint8_t* c = i % 2 ? (const uint8_t*)"\x22\x44\x66" : (const uint8_t*)"\x12\x34\x56";
        run.insert(run.end(), c, c + 3);
    }
    ASSERT_EQ(
        VrelBitmapColorCorrection(VrelFormatRgb24, run.data(), run.data(), 10, 0, 0, context.get()),
        0);
    for (int i = 0; i < 10; ++i) {
        const auto& want = i % 2 ? b : a;
        EXPECT_EQ(run[3 * i], want[0]) << i;
        EXPECT_EQ(run[3 * i + 1], want[1]) << i;
        EXPECT_EQ(run[3 * i + 2], want[2]) << i;
    }
    // Both share slot 0x462 of the default key layout; the last one stays.
    const auto* cache = static_cast<const ColourCache8*>(context->groups[1].cache8Block.address);
    EXPECT_EQ(cache->lastSlot, 0x462);
    EXPECT_EQ(cache->entries[0x462].key, 0x66442200u);
    EXPECT_EQ(cache->entries[0x462].value[0], b[0]);
}

TEST(ColourCorrection, KeepsFormatDetailsOfEachLayout) {
    std::mt19937 rng(11);
    ScratchContext context;
    const CorrectionTable table = loadRandomTable(context.get(), rng, 0);

    // Rgb555: white at the start of a run stays white; bit 15 comes back clear.
    uint8_t words[4] = {0xff, 0x7f, 0xff, 0xff};
    ASSERT_EQ(VrelBitmapColorCorrection(VrelFormatRgb555, words, words, 2, 0, 0, context.get()), 0);
    EXPECT_EQ(words[0] | words[1] << 8, 0x7fff);
    EXPECT_EQ(words[2] | words[3] << 8, 0x7fff);

    // Gray8: each byte becomes channel 2 of its corrected grey.
    uint8_t greys[3] = {10, 200, 10};
    ASSERT_EQ(VrelBitmapColorCorrection(VrelFormatGray8, greys, greys, 3, 0, 0, context.get()), 0);
    EXPECT_EQ(greys[0], table.correct(10, 10, 10)[2]);
    EXPECT_EQ(greys[1], table.correct(200, 200, 200)[2]);
    EXPECT_EQ(greys[2], greys[0]);

    // Copy on Xrgb32: destination byte 0 keeps what it held.
    const uint8_t source[8] = {0x11, 40, 50, 60, 0x22, 70, 80, 90};
    uint8_t destination[8] = {0xa0, 0, 0, 0, 0xa1, 0, 0, 0};
    ASSERT_EQ(
        VrelBitmapColorCorrection(VrelFormatXrgb32, source, destination, 2, 0, 0, context.get()),
        0);
    EXPECT_EQ(destination[0], 0xa0);
    EXPECT_EQ(destination[4], 0xa1);
    const auto first = table.correct(40, 50, 60);
    EXPECT_EQ(destination[1], first[0]);
    EXPECT_EQ(destination[2], first[1]);
    EXPECT_EQ(destination[3], first[2]);
    EXPECT_EQ(source[1], 40);
}

TEST(ColourCorrection, DoesNothingForFormatsAndRunsWithoutPixels) {
    std::mt19937 rng(13);
    ScratchContext context;
    loadRandomTable(context.get(), rng, 0);
    std::vector<uint8_t> original(64);
    for (auto& b : original) {
        b = static_cast<uint8_t>(rng());
    }
    struct Case {
        uint32_t format;
        uint16_t count;
        int16_t skipStart;
        uint16_t skipEnd;
    };
    const Case cases[] = {
        {VrelFormatIndex8, 8, 0, 0},
        {VrelFormatMono1, 8, 0, 0},
        {6, 8, 0, 0},
        {8, 8, 0, 0},
        {14, 8, 0, 0},
        {17, 8, 0, 0},
        {20, 8, 0, 0},
        {23, 8, 0, 0},
        {0xffffffffu, 8, 0, 0},
        {VrelFormatRgb24, 5, 3, 2},
        {VrelFormatRgb24, 2, 3, 2},
        {VrelFormatRgb24, 8, -1, 0},    // negative skipStart
        {VrelFormatGray8, 40000, 0, 0}, // more than 32767 pixels counts as negative
    };
    for (const Case& k : cases) {
        std::vector<uint8_t> inPlace = original, copy(64, 0x5a);
        const std::vector<uint8_t> copyBefore = copy;
        EXPECT_EQ(VrelBitmapColorCorrection(k.format, inPlace.data(), inPlace.data(), k.count,
                                            k.skipStart, k.skipEnd, context.get()),
                  0);
        EXPECT_EQ(inPlace, original) << "format " << k.format << " count " << k.count;
        EXPECT_EQ(VrelBitmapColorCorrection(k.format, original.data(), copy.data(), k.count,
                                            k.skipStart, k.skipEnd, context.get()),
                  0);
        EXPECT_EQ(copy, copyBefore) << "format " << k.format << " count " << k.count;
    }
}

TEST(ColourCorrection, PixelCorrectionPacksFormatsTwoAndFive) {
    std::mt19937 rng(17);
    ScratchContext context;
    const CorrectionTable table = loadRandomTable(context.get(), rng, 18);

    uint32_t result = 0xdeadbeef;
    EXPECT_EQ(VrelPixelColorCorrection(2, 0x00ffffff, &result, context.get()), 0);
    EXPECT_EQ(result, 0x00ffffffu); // white from the registers

    for (int i = 0; i < 500; ++i) {
        const uint32_t colour = static_cast<uint32_t>(rng());
        const uint8_t lo = colour & 0xff, mid = (colour >> 8) & 0xff, hi = (colour >> 16) & 0xff;
        result = 0xdeadbeef;
        ASSERT_EQ(VrelPixelColorCorrection(2, colour, &result, context.get()), 0);
        const auto r2 = table.correct(lo, mid, hi); // red in the low byte
        ASSERT_EQ(result, r2[0] | r2[1] << 8 | r2[2] << 16) << std::hex << colour;
        result = 0xdeadbeef;
        ASSERT_EQ(VrelPixelColorCorrection(5, colour, &result, context.get()), 0);
        const auto r5 = table.correct(hi, mid, lo); // blue in the low byte
        ASSERT_EQ(result, r5[2] | r5[1] << 8 | r5[0] << 16) << std::hex << colour;
    }

    for (int32_t format : {0, 1, 3, 4, 13, -1, 6}) {
        result = 0xdeadbeef;
        EXPECT_EQ(VrelPixelColorCorrection(format, 0x123456, &result, context.get()), -128);
        EXPECT_EQ(result, 0u) << "format " << format;
    }
}

// A context whose profile names no correction table has no group-1 table
// and no cache: the correction leaves every pixel as it is.
TEST(ColourCorrection, WithoutACorrectionTableLeavesPixelsUnchanged) {
    ScratchContext context;
    uint8_t pixels[6] = {1, 2, 3, 4, 5, 6};
    uint8_t destination[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(VrelBitmapColorCorrection(VrelFormatRgb24, pixels, pixels, 2, 0, 0, context.get()),
              0);
    EXPECT_EQ(
        VrelBitmapColorCorrection(VrelFormatRgb24, pixels, destination, 2, 0, 0, context.get()), 0);
    const uint8_t same[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(std::memcmp(pixels, same, 6), 0);
    EXPECT_EQ(std::memcmp(destination, "\x09\x09\x09\x09\x09\x09", 6), 0);
    uint32_t result = 0;
    EXPECT_EQ(VrelPixelColorCorrection(5, 0xff123456, &result, context.get()), 0);
    EXPECT_EQ(result, 0x123456u);
}

} // namespace
} // namespace vrel
