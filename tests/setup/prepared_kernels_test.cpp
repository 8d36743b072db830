// The prepared-table kernels of the bitmap conversion on real prepared
// tables: every destination byte of random runs against a plain model of
// the lookup (which entry, written where, in which byte order).
#include "class_nine_context.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using setup_test::ContextOptions;
using setup_test::preparedEntries;
using setup_test::RealContext;

enum class Form {
    Whole,     // the four entry bytes at destination + 4 i
    ThreeBytes // 0, e0, e1, e2 at destination + skipStart * bpp + 4 (i - skipStart)
};

int bytesPerPixel(uint32_t format) {
    switch (format) {
    case VrelFormatBgr24:
    case VrelFormatRgb24:
        return 3;
    default:
        return 4;
    }
}

// The table index of source pixel i, read straight from the source layout.
uint32_t indexOf(uint32_t inFormat, const std::vector<uint8_t>& source, int i, int step) {
    switch (inFormat) {
    case VrelFormatRgb555: {
        const size_t at = static_cast<size_t>(i) * static_cast<size_t>(step);
        return (source[at] | (source[at + 1] << 8)) & 0x7fffu;
    }
    case VrelFormatMono1:
        return (source[static_cast<size_t>(i / 8)] >> (7 - i % 8)) & 1u;
    default: // Index8, Gray8
        return source[static_cast<size_t>(i) * static_cast<size_t>(step)];
    }
}

void expectRunsMatchModel(EngineContext* context, uint32_t inFormat, uint32_t outFormat, Form form,
                          uint32_t seed) {
    SCOPED_TRACE(testing::Message() << "in " << inFormat << " out " << outFormat);
    ASSERT_NE(context->preparedAddress, nullptr);
    const uint32_t entries = inFormat == VrelFormatRgb555  ? 32768
                             : inFormat == VrelFormatMono1 ? 2
                                                           : 256;
    const auto table = preparedEntries(*context, entries);
    std::mt19937 rng(seed);
    for (int iteration = 0; iteration < 300; ++iteration) {
        const int count = static_cast<int>(rng() % 140);
        int skipStart = static_cast<int>(rng() % (count + 1));
        int skipEnd = static_cast<int>(rng() % (count - skipStart + 1));
        if (iteration % 10 == 9) {
            skipEnd = count - skipStart + 1 + static_cast<int>(rng() % 5); // inverted: no pixel
        }
        const int defaultStep = inFormat == VrelFormatRgb555 ? 2 : 1;
        const int step = inFormat == VrelFormatMono1 ? 0 : static_cast<int>(rng() % 4);
        const int effectiveStep = step == 0 ? defaultStep : step;
        std::vector<uint8_t> source(inFormat == VrelFormatMono1
                                        ? static_cast<size_t>(count + 7) / 8 + 1
                                        : static_cast<size_t>(count * effectiveStep + 2));
        for (auto& b : source) {
            b = static_cast<uint8_t>(rng());
        }
        std::vector<uint8_t> expected(static_cast<size_t>(4 * count + 8), 0xcd);
        std::vector<uint8_t> actual = expected;
        const int bpp = bytesPerPixel(outFormat);
        for (int i = skipStart; i < count - skipEnd; ++i) {
            const uint32_t entry = table[indexOf(inFormat, source, i, effectiveStep)];
            uint8_t e[4];
            std::memcpy(e, &entry, 4);
            if (form == Form::Whole) {
                std::memcpy(&expected[static_cast<size_t>(4 * i)], e, 4);
            } else {
                const auto at = static_cast<size_t>(skipStart * bpp + 4 * (i - skipStart));
                expected[at] = 0;
                expected[at + 1] = e[0];
                expected[at + 2] = e[1];
                expected[at + 3] = e[2];
            }
        }
        const VrelResult result = VrelBitmapColorConversion(
            inFormat, outFormat, source.data(), actual.data(), static_cast<uint32_t>(count),
            static_cast<int16_t>(skipStart), static_cast<uint16_t>(skipEnd),
            static_cast<uint32_t>(step), context);
        ASSERT_EQ(result, VREL_OK);
        ASSERT_EQ(actual, expected) << "count " << count << " skipStart " << skipStart
                                    << " skipEnd " << skipEnd << " step " << step;
    }
}

std::vector<uint8_t> fullPalette(uint32_t seed) {
    std::vector<uint8_t> record(2 + 3 * 256);
    const int16_t lastIndex = 255;
    std::memcpy(record.data(), &lastIndex, 2);
    std::mt19937 rng(seed);
    for (size_t i = 2; i < record.size(); ++i) {
        record[i] = static_cast<uint8_t>(rng());
    }
    return record;
}

TEST(PreparedKernels, InkGroupCopiesWholeEntriesWhateverTheInkOrder) {
    RealContext context(ContextOptions{4, 0, 0, 9, 41});
    ASSERT_TRUE(context.opened());
    const std::vector<uint8_t> record = fullPalette(42);
    const auto* palette = reinterpret_cast<const PaletteRecord*>(record.data());
    const struct {
        uint32_t mode, inFormat;
    } inputs[] = {{VrelModeRgb555, VrelFormatRgb555},
                  {VrelModePalette, VrelFormatIndex8},
                  {VrelModeMono, VrelFormatMono1}};
    for (const auto& input : inputs) {
        ASSERT_EQ(VrelInitColorConversion(context.get(), input.mode, &palette),
                  VrelMethodFourColor);
        for (uint32_t out : {VrelFormatCmyk32, VrelFormatKymc32}) {
            expectRunsMatchModel(context.get(), input.inFormat, out, Form::Whole, 43 + out);
        }
    }
}

TEST(PreparedKernels, BlackGroupWritesWholeMonoEntriesForEveryBlackOutput) {
    RealContext context(ContextOptions{1, 0, 0, 9, 51});
    ASSERT_TRUE(context.opened());
    ASSERT_EQ(VrelInitColorConversion(context.get(), VrelModeMono, nullptr), VrelMethodBlack);
    for (uint32_t out : {VrelFormatGray8, VrelFormatBlack8, VrelFormatBlack32}) {
        expectRunsMatchModel(context.get(), VrelFormatMono1, out, Form::Whole, 52 + out);
    }
}

TEST(PreparedKernels, DirectPathPlacesThreeEntryBytesAfterAZeroByte) {
    RealContext context(ContextOptions{4, 0, 1, 9, 61});
    ASSERT_TRUE(context.opened());
    ASSERT_EQ(context->conversionMethod, VrelMethodThreeChannel);
    const std::vector<uint8_t> record = fullPalette(62);
    const auto* palette = reinterpret_cast<const PaletteRecord*>(record.data());
    const struct {
        uint32_t mode, inFormat;
    } inputs[] = {{VrelModeRgb555, VrelFormatRgb555},
                  {VrelModePalette, VrelFormatIndex8},
                  {VrelModeGray, VrelFormatGray8},
                  {VrelModeMono, VrelFormatMono1}};
    for (const auto& input : inputs) {
        ASSERT_EQ(VrelInitColorConversion(context.get(), input.mode, &palette),
                  VrelMethodThreeChannel);
        for (uint32_t out : {VrelFormatBgr24, VrelFormatBgrx32, VrelFormatXbgr32, VrelFormatRgb24,
                             VrelFormatXrgb32}) {
            expectRunsMatchModel(context.get(), input.inFormat, out, Form::ThreeBytes,
                                 63 + out + 10 * input.mode);
        }
    }
}

} // namespace
