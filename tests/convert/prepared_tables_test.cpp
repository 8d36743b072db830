// What the differential cannot reach through the exports: the 15-bit grid
// table, built with one conversion call per row, against the same grid
// converted one colour per call (entries and whole colour cache, lastSlot
// included, whatever the key layout and whatever the cache held before);
// and the one-bit kernel with the six- and seven-byte entries it serves.
#include "convert/prepared_table_kernels.h"
#include "setup/prepared_entry.h"
#include "setup/prepared_table.h"
#include "setup/test_hooks.h"
#include "support/test_support.h"

#include <cstring>
#include <gtest/gtest.h>

namespace vrel::test {
namespace {

bool sameCaches(const EngineContext& a, const EngineContext& b) {
    for (int g = 0; g < 2; ++g) {
        for (const size_t size : {size_t{32772}, size_t{49156}}) {
            const BlockHandle& x =
                size == 32772 ? a.groups[g].cache8Block : a.groups[g].cache12Block;
            const BlockHandle& y =
                size == 32772 ? b.groups[g].cache8Block : b.groups[g].cache12Block;
            if ((x.address == nullptr) != (y.address == nullptr) ||
                (x.address != nullptr && std::memcmp(x.address, y.address, size) != 0)) {
                return false;
            }
        }
    }
    return true;
}

TEST(GridBuilder, RowCallsGiveTheEntriesAndCacheOfOneCallPerColour) {
    // The class-9 layout, the default one (white carries the empty key) and
    // one whose overlapping shifts give grid neighbours one key.
    for (const int method : {3, 4}) {
        for (const uint32_t flags : {kKernelFlagsPrepared, kKernelFlagsDefault, 0u}) {
            SCOPED_TRACE(::testing::Message() << "method " << method << " flags " << flags);
            SampleFile file(makeSampleDatabase(recipeForMethod(method)));
            OpenContext one(file.params(0)), rows(file.params(0));
            ASSERT_TRUE(one && rows);
            dbwriter::Random random(static_cast<uint64_t>(method) + flags);
            for (EngineContext* c : {one.get(), rows.get()}) {
                vrel::testing::setProfileClass(c, kPreparedProfileClass);
                c->kernelFlags = flags;
            }
            for (int build = 0; build < 2; ++build) {
                if (build == 1) { // the second build meets a used cache
                    std::vector<uint8_t> src(3 * 400), out(4 * 400);
                    for (uint8_t& b : src) {
                        b = static_cast<uint8_t>(random.below(4) * 85);
                    }
                    for (EngineContext* c : {one.get(), rows.get()}) {
                        VrelBitmapColorConversion(3, 13, src.data(), out.data(), 400, 0, 0, 0, c);
                    }
                }
                std::vector<uint8_t> want(kRgb555TableBytes);
                const EntryMaker maker = entryMakerFor(one.get(), false);
                for (uint32_t word = 0; word < kRgb555Entries; ++word) {
                    auto level = [&](int shift) {
                        const int n = static_cast<int>(word >> shift) & 31;
                        return static_cast<uint8_t>(8 * n + n / 4);
                    };
                    makeEntry(maker, level(10), level(5), level(0), &want[4 * word]);
                }
                ASSERT_EQ(VrelInitColorConversion(rows.get(), VrelModeRgb555, nullptr),
                          rows.get()->conversionMethod);
                ASSERT_NE(rows.get()->preparedAddress, nullptr);
                ASSERT_EQ(std::memcmp(rows.get()->preparedAddress, want.data(), want.size()), 0);
                ASSERT_TRUE(sameCaches(*one.get(), *rows.get())) << "build " << build;
            }
        }
    }
}

// Every bit of every byte a run may start and end on copies its entry whole.
TEST(MonoKernel, CopiesEntriesOfFourSixAndSevenBytesForEveryBit) {
    dbwriter::Random random(5);
    for (const uint32_t bytes : {4u, 6u, 7u}) {
        for (int trial = 0; trial < 300; ++trial) {
            uint8_t row[32], entries[14];
            for (uint8_t& b : row) {
                b = random.byte();
            }
            for (uint8_t& b : entries) {
                b = random.byte();
            }
            const auto first = static_cast<int32_t>(random.below(200));
            const auto n = static_cast<int32_t>(random.below(40)) - 2;
            std::vector<uint8_t> got(256 * bytes, 0xa5), want = got;
            for (int32_t p = first; p < first + n; ++p) {
                const int bit = (row[p / 8] >> (7 - p % 8)) & 1;
                std::memcpy(&want[p * bytes], &entries[bit * bytes], bytes);
            }
            convertMonoRun(row, first, n, entries, entries + bytes, bytes, &got[first * bytes],
                           bytes);
            ASSERT_EQ(got, want) << "entry bytes " << bytes << " first " << first << " n " << n;
        }
    }
}

} // namespace
} // namespace vrel::test
