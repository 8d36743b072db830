// Prepared-table and curve kernels over random runs, against plain lookups
// with per-bit addressing of one-bit rows.
#include "convert/prepared_table_kernels.h"
#include "dispatch_expectations.h"

#include <gtest/gtest.h>

namespace vrel::test {
namespace {

std::vector<uint8_t> randomBytes(size_t size, std::mt19937& rng) {
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

TEST(PreparedTableKernels, RandomRunsMatchPlainLookups) {
    struct Pairing {
        uint32_t in, out;
        bool forced;
    };
    const Pairing pairings[] = {{4, 13, false}, {4, 15, false},  {7, 13, false},  {10, 15, false},
                                {10, 9, false}, {10, 11, false}, {10, 12, false}, {9, 9, false},
                                {9, 11, false}, {4, 5, true},    {4, 0, true},    {7, 3, true},
                                {9, 2, true},   {10, 1, true},   {10, 3, true}};
    std::mt19937 rng(77);
    for (bool forced : {false, true}) {
        RigOptions options;
        options.method = forced ? 3 : 4;
        options.curveSeed = 78;
        Rig rig(options);
        if (forced) {
            rig.context.forceThreeChannel();
        }
        rig.context.setPrepared(1, randomBytes(4 * 32768, rng));
        for (int call = 0; call < 400; ++call) {
            const Pairing& p = pairings[rng() % std::size(pairings)];
            if (p.forced != forced) {
                continue;
            }
            const uint32_t count = rng() % 8 == 0 ? 1000 + rng() % 3000 : 1 + rng() % 70;
            const auto skipStart = static_cast<int16_t>(rng() % 2 ? 0 : rng() % (count + 1));
            const auto skipEnd = static_cast<uint16_t>(rng() % 2 ? 0 : rng() % (count + 1));
            const uint32_t size = layoutOf(p.in).bytesPerPixel;
            const uint32_t step = rng() % 2 ? 0 : (p.in == 10 ? 1 + rng() % 9 : size + rng() % 3);
            const std::vector<uint8_t> src = randomBytes(static_cast<size_t>(count) * 8 + 8, rng);
            std::vector<uint8_t> dst = guardBuffer(static_cast<size_t>(count) * 4 + 16);
            std::vector<uint8_t> expected = dst;
            const Expect what = expectedFor(*rig.context.get(), p.in, p.out);
            ASSERT_NE(what, Expect::Refused);
            ASSERT_NE(what, Expect::Nothing);
            applyExpectation(what, rig, p.in, p.out, src, p.in == 10 ? 0 : step, expected, count,
                             skipStart, skipEnd);
            ASSERT_EQ(VrelBitmapColorConversion(p.in, p.out, src.data(), dst.data(), count,
                                                skipStart, skipEnd, step, rig.context.get()),
                      VREL_OK);
            ASSERT_EQ(dst, expected) << p.in << " -> " << p.out << " count " << count << " skips "
                                     << skipStart << "/" << skipEnd;
        }
    }
}

// The two-entry one-bit kernel with six- and seven-byte entries copies the
// entry whole for every bit, whichever bit of which byte the run starts and
// ends on.
TEST(PreparedTableKernels, MonoKernelCopiesWideEntriesForEveryBit) {
    std::mt19937 rng(5);
    for (uint32_t bytes : {4u, 6u, 7u}) {
        for (int trial = 0; trial < 300; ++trial) {
            const std::vector<uint8_t> row = randomBytes(64, rng);
            const std::vector<uint8_t> entries = randomBytes(2 * bytes, rng);
            const int32_t first = static_cast<int32_t>(rng() % 200);
            const int32_t n = static_cast<int32_t>(rng() % 40) - 2;
            std::vector<uint8_t> dst = guardBuffer(512 * bytes);
            std::vector<uint8_t> expected = dst;
            for (int32_t p = first; p < first + n; ++p) {
                const int bit = (row[p / 8] >> (7 - p % 8)) & 1;
                std::copy(&entries[bit * bytes], &entries[bit * bytes] + bytes,
                          &expected[static_cast<size_t>(p) * bytes]);
            }
            convertMonoRun(row.data(), first, n, &entries[0], &entries[bytes], bytes,
                           dst.data() + static_cast<size_t>(first) * bytes, bytes);
            ASSERT_EQ(dst, expected) << "entry bytes " << bytes << " first " << first << " n " << n;
        }
    }
}

TEST(PreparedTableKernels, TablesTooShortForTheInputAreRefused) {
    RigOptions options;
    options.method = 4;
    Rig rig(options);
    std::mt19937 rng(9);
    const std::vector<uint8_t> src = randomBytes(64, rng);
    // A one-bit table (two entries in a 768-byte block) must not serve
    // 15-bit or palette input, which would index far past it.
    std::vector<uint8_t> mono = randomBytes(8, rng);
    mono.resize(768, 0);
    rig.context.setPrepared(4, mono);
    for (uint32_t in : {4u, 7u}) {
        std::vector<uint8_t> dst = guardBuffer(64);
        const std::vector<uint8_t> before = dst;
        EXPECT_EQ(VrelBitmapColorConversion(in, 13, src.data(), dst.data(), 8, 0, 0, 0,
                                            rig.context.get()),
                  VREL_ERR_PARAM);
        EXPECT_EQ(dst, before);
    }
    // A palette table serves palette input but not 15-bit input.
    rig.context.setPrepared(2, randomBytes(1024, rng));
    std::vector<uint8_t> dst = guardBuffer(64);
    EXPECT_EQ(
        VrelBitmapColorConversion(7, 13, src.data(), dst.data(), 8, 0, 0, 0, rig.context.get()),
        VREL_OK);
    EXPECT_EQ(
        VrelBitmapColorConversion(4, 13, src.data(), dst.data(), 8, 0, 0, 0, rig.context.get()),
        VREL_ERR_PARAM);
    // A refused mode above 4 is recorded while the old table stays in place:
    // the table is then trusted for two entries only.
    rig.context->conversionMode = 5;
    EXPECT_EQ(
        VrelBitmapColorConversion(7, 13, src.data(), dst.data(), 8, 0, 0, 0, rig.context.get()),
        VREL_ERR_PARAM);
    EXPECT_EQ(
        VrelBitmapColorConversion(10, 13, src.data(), dst.data(), 8, 0, 0, 0, rig.context.get()),
        VREL_OK);
    // No table at all: every prepared-table input is refused.
    rig.context->preparedAddress = nullptr;
    for (uint32_t in : {4u, 7u, 10u}) {
        EXPECT_EQ(VrelBitmapColorConversion(in, 15, src.data(), dst.data(), 8, 0, 0, 0,
                                            rig.context.get()),
                  VREL_ERR_PARAM);
    }
}

} // namespace
} // namespace vrel::test
