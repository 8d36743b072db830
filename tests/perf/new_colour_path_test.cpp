// The new-colour path at every instruction-set level this machine runs,
// against the plain scalar reference (preCorrect, locateTetrahedron,
// interpolateNode and the interpolateRun loop) on twin contexts: the same
// inks for every colour, and the same output bytes and colour cache after
// every call of long sequences whose runs stress the cache (slot-sharing
// colours, identical neighbours, runs starting with white).
#include "convert/interpolation.h"
#include "convert/kernel_isa.h"
#include "convert/kernel_tables.h"
#include "convert/new_colour_path.h"
#include "convert/packed_interpolation_run.h"
#include "perf/twin_contexts.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace vrel::test {
namespace {

// The inks of one colour at one level.
template <int Channels>
uint64_t newColourAt(KernelIsa level, const NewColourTables& t, uint8_t r, uint8_t g, uint8_t b) {
#ifdef VREL_X86_KERNELS
    if (level == KernelIsa::Avx2) {
        return newColourInks<Channels, KernelIsa::Avx2>(t, r, g, b);
    }
    if (level == KernelIsa::Sse41) {
        return newColourInks<Channels, KernelIsa::Sse41>(t, r, g, b);
    }
#endif
    EXPECT_EQ(level, KernelIsa::Portable);
    return newColourInks<Channels, KernelIsa::Portable>(t, r, g, b);
}

template <int Channels>
void expectNewColoursMatch(const LutBlock* lut, const PreCorrectionCurves& curves, uint32_t seed) {
    const NewColourTables tables(lut, curves);
    dbwriter::Random random(seed);
    auto check = [&](uint8_t r, uint8_t g, uint8_t b) {
        uint8_t c[3];
        preCorrect(curves, r, g, b, c);
        uint8_t want[8] = {};
        interpolateNode<Channels>(locateTetrahedron(lut, c[0], c[1], c[2]), want);
        for (const KernelIsa level : kernelIsaLevels()) {
            const uint64_t got = newColourAt<Channels>(level, tables, r, g, b);
            for (int j = 0; j < 8; ++j) {
                ASSERT_EQ(static_cast<uint8_t>(got >> (8 * j)), j < Channels ? want[j] : 0)
                    << "level " << static_cast<int>(level) << " ink " << j << " of " << int(r)
                    << "," << int(g) << "," << int(b);
            }
        }
    };
    for (int v = 0; v < 256 && !::testing::Test::HasFatalFailure(); ++v) {
        const uint8_t x = random.byte(), y = random.byte(), u = static_cast<uint8_t>(v);
        check(u, u, u);
        check(u, x, y);
        check(x, u, y);
        check(x, y, u);
        check(u, 255, 0);
        check(0, u, 255);
    }
    for (int i = 0; i < 40000 && !::testing::Test::HasFatalFailure(); ++i) {
        check(random.byte(), random.byte(), random.byte());
    }
}

TEST(NewColourPath, EveryLevelGivesTheReferenceInks) {
    for (const int method : {4, 6, 7}) {
        for (const bool unevenNodes : {false, true}) {
            for (const bool randomCurves : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "method " << method << " uneven "
                                                  << unevenNodes << " curves " << randomCurves);
                TwinContexts twins(method, 500 + method, unevenNodes);
                ASSERT_TRUE(twins.ok());
                if (randomCurves) {
                    twins.randomiseCurves(510 + method);
                }
                if (method == 4) {
                    InterpolationTables<CacheEntry8> t;
                    ASSERT_TRUE(fourInkTables(twins.production(), &t));
                    expectNewColoursMatch<4>(t.lut, t.curves, 520);
                } else {
                    InterpolationTables<CacheEntry12> t;
                    int inks = 0;
                    ASSERT_TRUE(multiInkTables(twins.production(), 6, &t, &inks));
                    ASSERT_EQ(inks, method);
                    expectNewColoursMatch<6>(t.lut, t.curves, 530);
                    if (method == 7) {
                        expectNewColoursMatch<7>(t.lut, t.curves, 540);
                    }
                }
                releaseGroupZero(twins.production());
                if (::testing::Test::HasFatalFailure()) {
                    return;
                }
            }
        }
    }
}

// A run of Rgb24 pixels built to stress the cache: colours that share slots
// (equal low nibbles, different high ones), identical neighbours, whites
// (first pixel too, sometimes) and fresh colours.
std::vector<uint8_t> cacheStressRun(dbwriter::Random& random, int pixels) {
    std::vector<uint8_t> source(static_cast<size_t>(pixels) * 3);
    const uint8_t low[3] = {random.byte(), random.byte(), random.byte()};
    uint8_t colour[3] = {255, 255, 255};
    const bool whiteFirst = random.below(3) == 0;
    for (int i = 0; i < pixels; ++i) {
        if (i > 0 || !whiteFirst) {
            switch (random.below(6)) {
            case 0:
            case 1:
                break; // identical neighbour
            case 2:
                for (int c = 0; c < 3; ++c) { // same slot, mostly a different key
                    colour[c] = static_cast<uint8_t>(random.below(16) << 4 | (low[c] & 15));
                }
                break;
            case 3:
                colour[0] = colour[1] = colour[2] = 255;
                break;
            default:
                for (uint8_t& c : colour) {
                    c = random.byte();
                }
            }
        }
        std::memcpy(source.data() + static_cast<size_t>(i) * 3, colour, 3);
    }
    return source;
}

template <int ComputeInks, typename Entry>
void compareRun(TwinContexts& twins, const InterpolationTables<Entry>& reference,
                const InterpolationTables<Entry>& production, const std::vector<uint8_t>& source) {
    const int32_t n = static_cast<int32_t>(source.size() / 3);
    std::vector<uint8_t> want(static_cast<size_t>(n) * ComputeInks, 0x5a), got(want);
    PackedInkWriter<ComputeInks> referenceWriter{want.data(), ComputeInks, {}};
    InOrderValueWriter<ComputeInks> packedWriter{got.data(), ComputeInks};
    for (int j = 0; j < ComputeInks; ++j) {
        referenceWriter.offset[j] = static_cast<uint8_t>(j);
    }
    const ThreeChannelReader read{0, 1, 2};
    interpolateRun<ComputeInks>(reference, source.data(), 3, n, read, referenceWriter);
    interpolateRunPacked<ComputeInks>(production, source.data(), 3, n, read, packedWriter);
    ASSERT_EQ(got, want);
    ASSERT_TRUE(twins.cachesEqual());
}

// Long call sequences on one pair of contexts per level, ink count and key
// layout (default, the prepared class's, and a custom one whose shifts drop
// bits so that different colours share a key).
TEST(NewColourPath, EveryLevelKeepsOutputAndCacheOfReferenceLoop) {
    for (const KernelIsa level : kernelIsaLevels()) {
        KernelIsaLimit limit(level);
        ASSERT_EQ(kernelIsa(), level);
        for (const int method : {4, 6, 7}) {
            for (const int layout : {0, 1, 2}) {
                SCOPED_TRACE(::testing::Message() << "level " << static_cast<int>(level)
                                                  << " method " << method << " layout " << layout);
                TwinContexts twins(method, 600 + method, layout == 1, layout == 1);
                ASSERT_TRUE(twins.ok());
                twins.randomiseCurves(610 + method + layout);
                if (layout == 2) {
                    twins.setKernelFlags(0x0a141c00u);
                }
                dbwriter::Random random(620 + method * 3 + layout);
                for (int call = 0; call < 150; ++call) {
                    const std::vector<uint8_t> source =
                        cacheStressRun(random, static_cast<int>(random.below(400)));
                    if (method == 4) {
                        InterpolationTables<CacheEntry8> a, b;
                        ASSERT_TRUE(fourInkTables(twins.reference(), &a));
                        ASSERT_TRUE(fourInkTables(twins.production(), &b));
                        compareRun<4>(twins, a, b, source);
                    } else {
                        InterpolationTables<CacheEntry12> a, b;
                        int inks = 0;
                        ASSERT_TRUE(multiInkTables(twins.reference(), 6, &a, &inks));
                        ASSERT_TRUE(multiInkTables(twins.production(), 6, &b, &inks));
                        if (inks == 7) {
                            compareRun<7>(twins, a, b, source);
                        } else {
                            compareRun<6>(twins, a, b, source);
                        }
                    }
                    releaseGroupZero(twins.reference());
                    releaseGroupZero(twins.production());
                    if (::testing::Test::HasFatalFailure()) {
                        return;
                    }
                }
            }
        }
    }
}

TEST(NewColourPath, LevelCapIsHonouredAndLifted) {
    {
        KernelIsaLimit limit(KernelIsa::Portable);
        EXPECT_EQ(kernelIsa(), KernelIsa::Portable);
    }
    EXPECT_EQ(kernelIsa(), supportedKernelIsa());
}

} // namespace
} // namespace vrel::test
