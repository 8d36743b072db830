// The 15-bit grid table, built with one conversion call per blue row,
// against the same grid converted one colour per call (the entry maker of
// the other builders): the same entries, and the same colour cache
// afterwards (entries and lastSlot), whatever the key layout and whatever the
// cache held before.
#include "core/colour_cache.h"
#include "perf/twin_contexts.h"
#include "setup/prepared_entry.h"
#include "setup/prepared_table.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace vrel::test {
namespace {

// The grid walk, one conversion call per colour.
std::vector<uint8_t> onePixelCallEntries(EngineContext* context) {
    const EntryMaker maker = entryMakerFor(context, false);
    std::vector<uint8_t> entries(kRgb555TableBytes, 0);
    uint8_t* entry = entries.data();
    for (int r = 0; r < 32; ++r) {
        for (int g = 0; g < 32; ++g) {
            for (int b = 0; b < 32; ++b, entry += kPreparedEntryBytes) {
                auto level = [](int n) { return static_cast<uint8_t>(8 * n + n / 4); };
                makeEntry(maker, level(r), level(g), level(b), entry);
            }
        }
    }
    return entries;
}

// Random conversions on both contexts, so that the grid meets a used cache.
void convertRandomRuns(TwinContexts& twins, dbwriter::Random& random) {
    for (int call = 0; call < 10; ++call) {
        const RandomRun run = RandomRun::make(random, 400);
        std::vector<uint8_t> out(static_cast<size_t>(run.pixels) * 4 + 4);
        for (EngineContext* context : {twins.reference(), twins.production()}) {
            VrelBitmapColorConversion(run.inFormat, VrelFormatCmyk32, run.first(), out.data(),
                                      static_cast<uint32_t>(run.pixels), 0, 0, run.step, context);
        }
    }
}

TEST(GridBuilder, RowCallsGiveTheEntriesAndCacheOfOneCallPerColour) {
    // The layout of a class-9 context, the default layout (under which the
    // grid's last colour, white, carries the empty cache key), and a layout
    // whose overlapping shifts give grid neighbours one key.
    const uint32_t layouts[] = {kKernelFlagsPrepared, kKernelFlagsDefault, 0x00000000u};
    for (const int method : {3, 4}) {
        for (const uint32_t flags : layouts) {
            SCOPED_TRACE(::testing::Message()
                         << "method " << method << " flags " << std::hex << flags);
            TwinContexts twins(method, 40 + method, method == 4, true);
            ASSERT_TRUE(twins.ok());
            twins.setKernelFlags(flags);
            twins.randomiseCurves(50 + method);
            dbwriter::Random random(60 + method);
            // First on a fresh cache, then after other conversions and over
            // the entries the first build left.
            for (int build = 0; build < 2; ++build) {
                if (build == 1) {
                    convertRandomRuns(twins, random);
                    ASSERT_TRUE(twins.cachesEqual());
                }
                const std::vector<uint8_t> want = onePixelCallEntries(twins.reference());
                ASSERT_EQ(VrelInitColorConversion(twins.production(), VrelModeRgb555, nullptr),
                          twins.production()->conversionMethod);
                ASSERT_NE(twins.production()->preparedAddress, nullptr);
                const auto* got = static_cast<const uint8_t*>(twins.production()->preparedAddress);
                for (uint32_t i = 0; i < kRgb555Entries; ++i) {
                    ASSERT_EQ(std::memcmp(got + 4 * i, want.data() + 4 * i, 4), 0) << "entry " << i;
                }
                ASSERT_TRUE(twins.cachesEqual()) << "build " << build;
            }
        }
    }
}

} // namespace
} // namespace vrel::test
