// Prepared tables of real contexts: every entry equals what direct colour
// input of the same colour gives through the conversion (and, where the
// adjustments apply, the correction first).
#include "class_nine_context.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using setup_test::ContextOptions;
using setup_test::directEntries;
using setup_test::preparedEntries;
using setup_test::RealContext;

struct Variant {
    const char* name;
    ContextOptions options;
    int16_t method; // the conversion method VrelInit gives
};

// Every method with tables, with and without the caller's adjustments; the
// three-channel method both from a three-channel profile and through the
// override (which sends three-channel output through the direct path).
const Variant kVariants[] = {
    {"four colours", {4, 0, 0, 9, 21}, VrelMethodFourColor},
    {"four colours, adjusted", {4, 1, 0, 9, 22}, VrelMethodFourColor},
    {"three channels", {3, 0, 0, 9, 23}, VrelMethodThreeChannel},
    {"three channels, adjusted", {3, 1, 0, 9, 24}, VrelMethodThreeChannel},
    {"three channels by override", {4, 0, 1, 9, 25}, VrelMethodThreeChannel},
    {"three channels by override, adjusted", {4, 1, 1, 9, 26}, VrelMethodThreeChannel},
    {"black", {1, 0, 0, 9, 27}, VrelMethodBlack},
    {"black, adjusted", {1, 1, 0, 9, 28}, VrelMethodBlack},
};

bool correctsFirst(const Variant& v) {
    return v.method == VrelMethodFourColor && v.options.adjustSwitch == 1;
}

std::vector<uint8_t> randomColours(size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> rgb(3 * count);
    for (auto& b : rgb) {
        b = static_cast<uint8_t>(rng());
    }
    return rgb;
}

TEST(ConvertedTables, EveryGridEntryEqualsTheDirectConversionOfItsColour) {
    const std::vector<uint8_t> grid = setup_test::gridColours();
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        RealContext context(v.options);
        ASSERT_TRUE(context.opened());
        ASSERT_EQ(context->conversionMethod, v.method);
        ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeRgb555, nullptr), v.method);
        const auto table = preparedEntries(*context.get(), 32768);
        // The grid is never corrected first, whatever the switch says.
        const auto expected = directEntries(context.get(), grid, false);
        for (uint32_t word = 0; word < 32768; ++word) {
            ASSERT_EQ(table[word], expected[word]) << "word " << word;
        }
    }
}

TEST(ConvertedTables, PaletteEntriesAreTheDirectConversionOfEachColour) {
    const std::vector<uint8_t> colours = randomColours(200, 31);
    std::vector<uint8_t> record(2 + colours.size());
    const int16_t lastIndex = 199;
    std::memcpy(record.data(), &lastIndex, 2);
    std::memcpy(record.data() + 2, colours.data(), colours.size());
    const auto* palette = reinterpret_cast<const PaletteRecord*>(record.data());
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        RealContext context(v.options);
        ASSERT_TRUE(context.opened());
        ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModePalette, &palette), v.method);
        const auto table = preparedEntries(*context.get(), 256);
        const auto expected = directEntries(context.get(), colours, correctsFirst(v));
        for (uint32_t i = 0; i < 256; ++i) {
            ASSERT_EQ(table[i], i < 200 ? expected[i] : 0u) << "entry " << i;
        }
        if (correctsFirst(v)) {
            // The correction must matter for this palette, or the comparison
            // above could not tell a corrected table from an uncorrected one.
            EXPECT_NE(directEntries(context.get(), colours, false), expected);
        }
    }
}

TEST(ConvertedTables, GreyEntriesAreTheDirectConversionOfEachGrey) {
    std::vector<uint8_t> greys;
    for (int v = 0; v < 256; ++v) {
        greys.insert(greys.end(), 3, static_cast<uint8_t>(v));
    }
    for (const Variant& v : kVariants) {
        if (v.method == VrelMethodFourColor) {
            continue; // four colours take grey input without a table
        }
        SCOPED_TRACE(v.name);
        RealContext context(v.options);
        ASSERT_TRUE(context.opened());
        ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeGray, nullptr), v.method);
        const auto table = preparedEntries(*context.get(), 256);
        for (uint32_t g = 0; g < 256; ++g) {
            uint32_t expected;
            if (v.method == VrelMethodBlack) {
                const uint8_t black = context->adjustCurves[3][context->greyCurve[g]];
                expected = setup_test::bytesOf(0, 0, 0, black);
            } else {
                const std::vector<uint8_t> grey(3, static_cast<uint8_t>(g));
                expected = directEntries(context.get(), grey, false)[0];
            }
            ASSERT_EQ(table[g], expected) << "grey " << g;
        }
    }
}

TEST(ConvertedTables, MonoEntriesAreWhiteThenBlack) {
    const std::vector<uint8_t> whiteThenBlack = {255, 255, 255, 0, 0, 0};
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        RealContext context(v.options);
        ASSERT_TRUE(context.opened());
        ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeMono, nullptr), v.method);
        const auto expected = directEntries(context.get(), whiteThenBlack, correctsFirst(v));
        EXPECT_EQ(preparedEntries(*context.get(), 2), expected);
        // Only the first eight bytes of the mono block are used.
        const auto* bytes = static_cast<const uint8_t*>(context->preparedAddress);
        for (int i = 8; i < 768; ++i) {
            ASSERT_EQ(bytes[i], 0) << i;
        }
    }
}

} // namespace
