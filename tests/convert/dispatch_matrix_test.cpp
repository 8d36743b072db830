// Every pairing of input and output format (0..23 x 0..23) on contexts of
// every method, with and without prepared tables: the result code and every
// destination byte, guard bytes included.
#include "dispatch_expectations.h"

#include <gtest/gtest.h>
#include <memory>

namespace vrel::test {
namespace {

std::vector<uint8_t> randomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

struct MatrixCase {
    const char* name;
    int16_t method;
    bool forceThreeChannel;
    bool clearMagic;
    uint32_t preparedMode; // 0: no prepared table
};

std::unique_ptr<Rig> rigFor(const MatrixCase& m) {
    RigOptions options;
    options.method = m.method;
    options.curveSeed = 40 + static_cast<uint32_t>(m.method);
    options.nodes = randomNodes(12, 41);
    auto rig = std::make_unique<Rig>(options);
    if (m.forceThreeChannel) {
        rig->context.forceThreeChannel();
    }
    if (m.clearMagic) {
        rig->context->initMagic = 0;
    }
    if (m.preparedMode != 0) {
        std::vector<uint8_t> entries = randomBytes(4 * entriesForMode(m.preparedMode), 42);
        if (m.preparedMode == 4) {
            entries.resize(768, 0); // the one-bit table's block
        }
        rig->context.setPrepared(m.preparedMode, entries);
    }
    return rig;
}

TEST(BitmapDispatch, EveryFormatPairingGivesItsCodeAndWritesExactlyItsBytes) {
    const MatrixCase cases[] = {
        {"four-ink, 15-bit table", 4, false, false, 1},
        {"forced three-channel, 15-bit table", 3, true, false, 1},
        {"forced three-channel before start-up completed", 3, true, true, 2},
        {"three-channel, no prepared table", 3, false, false, 0},
        {"six-ink, no prepared table", 6, false, false, 0},
        {"seven-ink, one-bit table", 7, false, false, 4},
        {"black, grey table", 1, false, false, 3},
        {"forced three-channel, one-bit table", 3, true, false, 4},
    };
    const uint32_t count = 16;
    const int16_t skipStart = 2;
    const uint16_t skipEnd = 3;
    int checkedPairs = 0;
    for (const MatrixCase& m : cases) {
        SCOPED_TRACE(m.name);
        std::unique_ptr<Rig> rig = rigFor(m);
        for (uint32_t in = 0; in <= 23; ++in) {
            for (uint32_t out = 0; out <= 23; ++out) {
                const Expect what = expectedFor(*rig->context.get(), in, out);
                // Twice: the second run meets the cache entries of the first.
                for (int round = 0; round < 2; ++round) {
                    const std::vector<uint8_t> src = randomBytes(4096, in * 31 + out + round);
                    std::vector<uint8_t> dst = guardBuffer(200, static_cast<uint8_t>(in + out));
                    std::vector<uint8_t> expected = dst;
                    applyExpectation(what, *rig, in, out, src, 0, expected, count, skipStart,
                                     skipEnd);
                    const VrelResult result =
                        VrelBitmapColorConversion(in, out, src.data(), dst.data(), count, skipStart,
                                                  skipEnd, 0, rig->context.get());
                    ASSERT_EQ(result, what == Expect::Refused ? VREL_ERR_PARAM : VREL_OK)
                        << "formats " << in << " -> " << out;
                    ASSERT_EQ(dst, expected) << "formats " << in << " -> " << out;
                }
                ++checkedPairs;
            }
        }
        if (rig->context->groups[0].lutBlock.address != nullptr) {
            expectSameCache(*rig->context.get(), rig->reference);
        }
    }
    EXPECT_EQ(checkedPairs, 8 * 24 * 24);
}

// A refused run reads no table: with group 0 and the prepared table pointing
// at nothing the refusal still comes back and the destination stays as it
// was.
TEST(BitmapDispatch, RefusedRunsTouchNoMissingTable) {
    TestContext context(1); // MethodBlack: no group-0 table, no cache
    std::vector<uint8_t> src = randomBytes(64, 3);
    for (uint32_t out : {0u, 13u, 15u, 16u, 19u}) {
        for (uint32_t in : {3u, 9u, 22u, 4u, 7u, 10u}) {
            std::vector<uint8_t> dst = guardBuffer(128);
            const std::vector<uint8_t> before = dst;
            const VrelResult r = VrelBitmapColorConversion(in, out, src.data(), dst.data(), 8, 0, 0,
                                                           0, context.get());
            const bool served = (out == 0 && (in == 4 || in == 7 || in == 10)) ||
                                (out >= 16 && (in == 4 || in == 7));
            EXPECT_EQ(r, served ? VREL_OK : VREL_ERR_PARAM) << in << " -> " << out;
            EXPECT_EQ(dst, before) << in << " -> " << out;
        }
    }
}

} // namespace
} // namespace vrel::test
