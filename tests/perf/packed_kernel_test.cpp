// The packed conversion loop and the packed tetrahedral core against the
// plain scalar reference (interpolateRun, locateTetrahedron,
// interpolateNode): same output bytes, same bytes left untouched, and the
// same colour cache afterwards (entries and lastSlot), over random tables,
// curves, formats, runs and call sequences.
#include "convert/interpolation.h"
#include "convert/interpolation_packed.h"
#include "convert/kernel_tables.h"
#include "convert/packed_interpolation_run.h"
#include "perf/twin_contexts.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace vrel::test {
namespace {

// Every input value of each axis against a random partner pair, plus random
// triples: the same tetrahedron (case, corners, weights) and the same inks.
template <int Channels> void expectCoreMatches(const LutBlock* lut, uint32_t seed) {
    dbwriter::Random random(seed);
    auto check = [&](uint8_t v0, uint8_t v1, uint8_t v2) {
        const Tetrahedron want = locateTetrahedron(lut, v0, v1, v2);
        const Tetrahedron got = locateTetrahedronBranchless(lut, v0, v1, v2);
        ASSERT_EQ(got.base, want.base) << int(v0) << "," << int(v1) << "," << int(v2);
        ASSERT_EQ(got.offsetA, want.offsetA);
        ASSERT_EQ(got.offsetB, want.offsetB);
        ASSERT_EQ(got.offsetC, want.offsetC);
        ASSERT_EQ(got.weightP, want.weightP);
        ASSERT_EQ(got.weightA, want.weightA);
        ASSERT_EQ(got.weightB, want.weightB);
        ASSERT_EQ(got.weightC, want.weightC);
        uint8_t inks[8] = {};
        interpolateNode<Channels>(want, inks);
        const uint64_t forms[] = {interpolateNodeSwar<Channels>(got),
#ifdef VREL_PACKED_SSE2
                                  interpolateNodeSse2<Channels>(got),
#endif
                                  interpolateNodePacked<Channels>(got)};
        for (const uint64_t packedInks : forms) {
            for (int j = 0; j < 8; ++j) {
                ASSERT_EQ(static_cast<uint8_t>(packedInks >> (8 * j)), j < Channels ? inks[j] : 0)
                    << "ink " << j << " of " << int(v0) << "," << int(v1) << "," << int(v2);
            }
        }
    };
    for (int v = 0; v < 256; ++v) {
        const uint8_t x = random.byte(), y = random.byte();
        check(static_cast<uint8_t>(v), x, y);
        check(x, static_cast<uint8_t>(v), y);
        check(x, y, static_cast<uint8_t>(v));
        check(static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v));
    }
    for (int i = 0; i < 60000; ++i) {
        check(random.byte(), random.byte(), random.byte());
    }
}

TEST(PackedCore, MatchesReferenceTetrahedronAndInksOnRandomTables) {
    for (const int method : {4, 6, 7}) {
        for (const bool unevenNodes : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "method " << method << " uneven " << unevenNodes);
            TwinContexts twins(method, 11 + method, unevenNodes);
            ASSERT_TRUE(twins.ok());
            const LutBlock* lut = twins.lut();
            if (method == 4) {
                expectCoreMatches<4>(lut, 5);
                expectCoreMatches<3>(lut, 6);
            } else if (method == 6) {
                expectCoreMatches<6>(lut, 7);
            } else {
                expectCoreMatches<7>(lut, 8);
                expectCoreMatches<6>(lut, 9);
            }
        }
    }
}

// The packed loop itself, straight against interpolateRun on the tables of
// twin contexts, with the caches compared after every call.
template <int ComputeInks, typename Entry>
void runLoopPair(TwinContexts& twins, const InterpolationTables<Entry>& reference,
                 const InterpolationTables<Entry>& packedTables, const RandomRun& run) {
    std::vector<uint8_t> want(run.pixels * ComputeInks, 0xa5), got(want);
    PackedInkWriter<ComputeInks> referenceWriter{want.data(), ComputeInks, {}};
    PackedValueWriter<ComputeInks> packedWriter{got.data(), ComputeInks, {}};
    for (int j = 0; j < ComputeInks; ++j) {
        referenceWriter.offset[j] = packedWriter.offset[j] = static_cast<uint8_t>(j);
    }
    if (run.grey) {
        interpolateRun<ComputeInks>(reference, run.first(), run.step, run.count(), GreyReader{},
                                    referenceWriter);
        interpolateRunPacked<ComputeInks>(packedTables, run.first(), run.step, run.count(),
                                          GreyReader{}, packedWriter);
    } else {
        const ThreeChannelReader read{run.offsets[0], run.offsets[1], run.offsets[2]};
        interpolateRun<ComputeInks>(reference, run.first(), run.step, run.count(), read,
                                    referenceWriter);
        interpolateRunPacked<ComputeInks>(packedTables, run.first(), run.step, run.count(), read,
                                          packedWriter);
    }
    ASSERT_EQ(got, want);
    ASSERT_TRUE(twins.cachesEqual());
}

TEST(PackedLoop, MatchesReferenceLoopOverCallSequences) {
    for (const int method : {4, 6, 7}) {
        for (const bool preparedClass : {false, true}) {
            SCOPED_TRACE(::testing::Message()
                         << "method " << method << " class9 " << preparedClass);
            TwinContexts twins(method, 21 + method, method == 6, preparedClass);
            ASSERT_TRUE(twins.ok());
            twins.randomiseCurves(100 + method);
            dbwriter::Random random(300 + method);
            for (int call = 0; call < 120; ++call) {
                const RandomRun run = RandomRun::make(random);
                if (method == 4) {
                    InterpolationTables<CacheEntry8> a, b;
                    ASSERT_TRUE(fourInkTables(twins.reference(), &a));
                    ASSERT_TRUE(fourInkTables(twins.production(), &b));
                    runLoopPair<4>(twins, a, b, run);
                } else {
                    InterpolationTables<CacheEntry12> a, b;
                    int inks = 0;
                    ASSERT_TRUE(multiInkTables(twins.reference(), 6, &a, &inks));
                    ASSERT_TRUE(multiInkTables(twins.production(), 6, &b, &inks));
                    if (inks == 7) {
                        runLoopPair<7>(twins, a, b, run);
                    } else {
                        runLoopPair<6>(twins, a, b, run);
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

} // namespace
} // namespace vrel::test
