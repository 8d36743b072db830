// The prepared tables of VrelInitColorConversion on started contexts: a
// pixel converted through a mode's table must come out as the same colour
// converted from direct RGB input (corrected first where the four-colour
// adjustments apply); and the table's life: built only for profile class 9,
// replaced or freed by the next mode, freed by VrelClose, kept when a mode
// is refused.
#include "battery.h"
#include "core/engine_context.h"
#include "resources/block_layer.h"
#include "support/reference.h"
#include "support/test_support.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using namespace vrel::test;

// Converts `count` pixels of `in` (through the prepared table) and the same
// colours given as Rgb24 (through the direct path) to `out`.
void expectSameAsDirect(EngineContext* context, uint32_t in, const std::vector<uint8_t>& source,
                        std::vector<uint8_t> rgb, uint32_t out, bool correctFirst) {
    const auto count = static_cast<uint32_t>(rgb.size() / 3);
    std::vector<uint8_t> viaTable(4 * count, 0x5a), direct(4 * count, 0xa5);
    ASSERT_EQ(
        VrelBitmapColorConversion(in, out, source.data(), viaTable.data(), count, 0, 0, 0, context),
        0);
    if (correctFirst) {
        VrelBitmapColorCorrection(VrelFormatRgb24, rgb.data(), rgb.data(),
                                  static_cast<uint16_t>(count), 0, 0, context);
    }
    ASSERT_EQ(VrelBitmapColorConversion(VrelFormatRgb24, out, rgb.data(), direct.data(), count, 0,
                                        0, 0, context),
              0);
    EXPECT_EQ(viaTable, direct) << "input format " << in;
}

TEST(PreparedTables, EntriesConvertAsTheDirectInputOfTheirColours) {
    struct Row {
        const char* what;
        int method;
        int record;
        uint32_t out;
    };
    const Row rows[] = {
        {"four colours", 4, 0, VrelFormatCmyk32},
        {"four colours, adjusted", 4, 1, VrelFormatCmyk32},
    };
    std::vector<uint8_t> record(2 + 3 * 200), palette(3 * 200);
    vrel::dbwriter::Random random(31);
    for (uint8_t& b : palette) {
        b = random.byte();
    }
    const int16_t lastIndex = 199;
    std::memcpy(record.data(), &lastIndex, 2);
    std::memcpy(record.data() + 2, palette.data(), palette.size());
    const auto* paletteRecord = reinterpret_cast<const PaletteRecord*>(record.data());
    std::vector<uint8_t> indices(200);
    for (int i = 0; i < 200; ++i) {
        indices[i] = static_cast<uint8_t>(i);
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SampleFile file(makeSampleDatabase(recipeForMethod(row.method)));
        OpenContext context(file.params(row.record));
        ASSERT_GE(context.result(), 0);
        usePreparedTables(context.get());
        const bool correctFirst = row.method == 4 && row.record == 1;
        ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModePalette, &paletteRecord),
                  row.method);
        expectSameAsDirect(context.get(), VrelFormatIndex8, indices, palette, row.out,
                           correctFirst);
        ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeMono, nullptr), row.method);
        expectSameAsDirect(
            context.get(), VrelFormatMono1, {0x5f},
            {255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
            row.out, correctFirst);
    }
    // Every seventh 15-bit colour, against its levels widened to 8 bits.
    std::vector<uint8_t> words, colours;
    for (int w = 0; w < 32768; w += 7) {
        words.insert(words.end(), {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)});
        for (const int shift : {10, 5, 0}) {
            colours.push_back(static_cast<uint8_t>(levelOf5Bit((w >> shift) & 31)));
        }
    }
    {
        SampleFile file(makeSampleDatabase(recipeForMethod(4)));
        OpenContext context(file.params(0));
        usePreparedTables(context.get());
        ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeRgb555, nullptr), 4);
        expectSameAsDirect(context.get(), VrelFormatRgb555, words, colours, VrelFormatCmyk32,
                           false);
    }
    // The black method's entries are the black curve of the luminance.
    SampleFile file(makeSampleDatabase(recipeForMethod(1)));
    OpenContext context(file.params(0));
    usePreparedTables(context.get());
    ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeRgb555, nullptr), 1);
    const auto count = static_cast<uint32_t>(words.size() / 2);
    std::vector<uint8_t> inks(4 * count), black(count), expected(count);
    for (uint32_t i = 0; i < count; ++i) {
        expected[i] =
            referenceLuminanceBlack(colours[3 * i], colours[3 * i + 1], colours[3 * i + 2],
                                    context.get()->greyCurve, context.get()->adjustCurves[3]);
    }
    ASSERT_EQ(VrelBitmapColorConversion(VrelFormatRgb555, VrelFormatCmyk32, words.data(),
                                        inks.data(), count, 0, 0, 0, context.get()),
              0);
    for (uint32_t i = 0; i < count; ++i) {
        black[i] = inks[4 * i + 3];
    }
    EXPECT_EQ(black, expected);
}

TEST(PreparedTables, ModesBuildReplaceAndFreeTheTable) {
    const auto hasTable = [](const EngineContext* c) {
        return c->preparedAddress != nullptr || c->preparedBlock.address != nullptr;
    };
    EXPECT_EQ(VrelInitColorConversion(nullptr, VrelModeMono, nullptr), VREL_ERR_PARAM);
    for (const int method : {1, 3, 4}) {
        SCOPED_TRACE(method);
        SampleFile file(makeSampleDatabase(recipeForMethod(method)));
        const long before = vrel::testing::liveBlocks();
        const ParamRecord params = file.params(0);
        EngineContext* context = nullptr;
        ASSERT_EQ(VrelInit(&context, &params), 0);
        const long opened = vrel::testing::liveBlocks();
        // The default profile class records the mode and builds nothing.
        for (uint32_t mode = 0; mode <= 4; ++mode) {
            EXPECT_EQ(prepareMode(context, mode, 10, mode, nullptr), method);
            EXPECT_FALSE(hasTable(context));
        }
        EXPECT_EQ(vrel::testing::liveBlocks(), opened);
        usePreparedTables(context);
        for (const uint32_t mode : {1u, 2u, 3u, 4u, 2u, 1u}) {
            const bool builds = !(method == 4 && mode == 3);
            EXPECT_EQ(prepareMode(context, mode, 255, mode, nullptr), method) << mode;
            EXPECT_EQ(hasTable(context), builds) << mode;
            EXPECT_EQ(vrel::testing::liveBlocks(), opened + (builds ? 1 : 0)) << mode;
        }
        EXPECT_EQ(prepareMode(context, 5, -1, 1, nullptr), VREL_ERR_PARAM);
        EXPECT_TRUE(hasTable(context));
        VrelClose(context); // frees the table with the context
        EXPECT_EQ(vrel::testing::liveBlocks(), before);
    }
}

} // namespace
