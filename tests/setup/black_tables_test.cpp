// The black method's prepared tables on a hand-built class-9 context: every
// entry against the luminance and curve arithmetic written out plainly.
#include "prepared_reference.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using setup_test::bytesOf;
using setup_test::entryAt;
using setup_test::HandContext;
using setup_test::levelOf5Bit;
using setup_test::referenceBlack;

TEST(BlackTables, GridHoldsTheBlackOfEveryFiveBitColour) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        HandContext context(VrelMethodBlack, 9, seed);
        ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeRgb555, nullptr), VrelMethodBlack);
        ASSERT_NE(context->preparedAddress, nullptr);
        for (uint32_t word = 0; word < 32768; ++word) {
            const int r = levelOf5Bit(static_cast<int>(word >> 10) & 31);
            const int g = levelOf5Bit(static_cast<int>(word >> 5) & 31);
            const int b = levelOf5Bit(static_cast<int>(word) & 31);
            ASSERT_EQ(entryAt(*context.get(), word),
                      bytesOf(0, 0, 0, referenceBlack(r, g, b, *context.get())))
                << "seed " << seed << " word " << word;
        }
    }
}

TEST(BlackTables, FiveBitLevelsExpandWithTheQuarterStep) {
    // Curves at identity expose the luminance itself: a pure blue level
    // gives (28 * value + 128) >> 8, a pure red one (77 * value + 128) >> 8.
    HandContext context(VrelMethodBlack, 9, 4);
    for (int i = 0; i < 256; ++i) {
        context->greyCurve[i] = static_cast<uint8_t>(i);
        context->adjustCurves[3][i] = static_cast<uint8_t>(i);
    }
    ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeRgb555, nullptr), VrelMethodBlack);
    EXPECT_EQ(entryAt(*context.get(), 31u << 10), bytesOf(0, 0, 0, (77 * 255 + 128) >> 8));
    for (uint32_t n = 0; n < 32; ++n) {
        const int value = 8 * static_cast<int>(n) + static_cast<int>(n) / 4;
        EXPECT_EQ(entryAt(*context.get(), n << 5), bytesOf(0, 0, 0, (151 * value + 128) >> 8)) << n;
    }
    EXPECT_EQ(entryAt(*context.get(), 32767), bytesOf(0, 0, 0, 255));
    EXPECT_EQ(entryAt(*context.get(), 0), bytesOf(0, 0, 0, 0));
}

TEST(BlackTables, GreyTableIndexesTheGreyCurveByLevelNotByLuminance) {
    HandContext context(VrelMethodBlack, 9, 5);
    ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeGray, nullptr), VrelMethodBlack);
    for (uint32_t v = 0; v < 256; ++v) {
        const uint8_t black = context->adjustCurves[3][context->greyCurve[v]];
        ASSERT_EQ(entryAt(*context.get(), v), bytesOf(0, 0, 0, black)) << v;
    }
    // 128 is a grey whose luminance sum is 129: the curves make them differ.
    context->greyCurve[128] = 10;
    context->greyCurve[129] = 20;
    ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeGray, nullptr), VrelMethodBlack);
    EXPECT_EQ(entryAt(*context.get(), 128), bytesOf(0, 0, 0, context->adjustCurves[3][10]));
}

TEST(BlackTables, MonoTableHoldsWhiteThenBlack) {
    HandContext context(VrelMethodBlack, 9, 6);
    ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeMono, nullptr), VrelMethodBlack);
    EXPECT_EQ(entryAt(*context.get(), 0),
              bytesOf(0, 0, 0, referenceBlack(255, 255, 255, *context.get())));
    EXPECT_EQ(entryAt(*context.get(), 1),
              bytesOf(0, 0, 0, referenceBlack(0, 0, 0, *context.get())));
}

// A palette record with room for every colour a test gives.
struct PaletteBuffer {
    std::vector<uint8_t> bytes;
    const PaletteRecord* record() const {
        return reinterpret_cast<const PaletteRecord*>(bytes.data());
    }
};

PaletteBuffer randomPalette(int16_t lastIndex, int colours, uint32_t seed) {
    PaletteBuffer palette;
    palette.bytes.resize(2 + 3 * static_cast<size_t>(colours));
    std::memcpy(palette.bytes.data(), &lastIndex, 2);
    std::mt19937 rng(seed);
    for (size_t i = 2; i < palette.bytes.size(); ++i) {
        palette.bytes[i] = static_cast<uint8_t>(rng());
    }
    return palette;
}

TEST(BlackTables, PaletteTableConvertsColoursUpToLastIndexAndNoFurther) {
    struct Case {
        int16_t lastIndex;
        int colours;  // colours present in the record
        int expected; // entries filled from the palette
    };
    const Case cases[] = {{2, 3, 3},        {0, 1, 1},  {255, 256, 256}, {256, 257, 256},
                          {1000, 256, 256}, {-1, 0, 0}, {-32768, 0, 0}};
    for (const Case& c : cases) {
        HandContext context(VrelMethodBlack, 9, 7);
        const PaletteBuffer palette = randomPalette(c.lastIndex, c.colours, 8);
        const PaletteRecord* record = palette.record();
        ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModePalette, &record),
                  VrelMethodBlack);
        for (int i = 0; i < 256; ++i) {
            uint32_t expected = 0;
            if (i < c.expected) {
                const uint8_t* colour = palette.bytes.data() + 2 + 3 * i;
                expected = bytesOf(0, 0, 0,
                                   referenceBlack(colour[0], colour[1], colour[2], *context.get()));
            }
            ASSERT_EQ(entryAt(*context.get(), static_cast<uint32_t>(i)), expected)
                << "lastIndex " << c.lastIndex << " entry " << i;
        }
    }
}

TEST(BlackTables, MissingPaletteGivesAnAllZeroTable) {
    // A null handle, and a handle that holds null, are a palette without
    // colours: success with every entry zero.
    HandContext context(VrelMethodBlack, 9, 9);
    context->greyCurve[0] = 200; // so that a converted black would not be zero
    context->adjustCurves[3][200] = 99;
    const PaletteRecord* nothing = nullptr;
    for (const PaletteRecord* const* handle :
         {static_cast<const PaletteRecord* const*>(nullptr),
          static_cast<const PaletteRecord* const*>(&nothing)}) {
        ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModePalette, handle), VrelMethodBlack);
        ASSERT_NE(context->preparedAddress, nullptr);
        for (uint32_t i = 0; i < 256; ++i) {
            ASSERT_EQ(entryAt(*context.get(), i), 0u) << i;
        }
    }
}

} // namespace
