// The interpolating members against the plain reference model, over long
// call sequences on one context so that the cache and the previous-pixel
// registers carry state from call to call.
#include "conversion_rig.h"

#include <gtest/gtest.h>

namespace vrel::test {
namespace {

const std::vector<uint32_t> kInterpolatedInputs = {0, 1, 2, 3, 5, 9, 22};

std::vector<RigOptions> tableVariants(int16_t method) {
    std::vector<RigOptions> variants;
    RigOptions identity;
    identity.method = method;
    variants.push_back(identity);

    RigOptions custom = identity;
    custom.nodes = randomNodes(9, 11);
    custom.curveSeed = 5;
    custom.gridSeed = 7;
    variants.push_back(custom);

    RigOptions wide = identity;
    wide.nodes = randomNodes(33, 12);
    wide.curveSeed = 6;
    wide.wideCurves = true;
    wide.gridSeed = 8;
    variants.push_back(wide);

    RigOptions corners = identity;
    corners.nodes = {0, 255};
    corners.curveSeed = 9;
    corners.gridSeed = 10;
    variants.push_back(corners);

    RigOptions prepared = identity;
    prepared.kernelFlags = kKernelFlagsPrepared;
    prepared.nodes = randomNodes(64, 13);
    prepared.curveSeed = 14;
    prepared.gridSeed = 15;
    variants.push_back(prepared);
    return variants;
}

TEST(InterpolatingConversion, FourInkPixelsMatchReferenceOverLongSequences) {
    uint32_t seed = 100;
    for (const RigOptions& options : tableVariants(4)) {
        Rig rig(options);
        checkRandomBitmapRuns(rig.context.get(), rig.reference, kInterpolatedInputs, {13, 15},
                              InkWrite::FourInk, 4, ++seed, 300);
    }
}

TEST(InterpolatingConversion, FoldedThreeChannelPixelsMatchReferenceOverLongSequences) {
    uint32_t seed = 200;
    for (int16_t method : {3, 4}) {
        for (const RigOptions& options : tableVariants(method)) {
            Rig rig(options);
            checkRandomBitmapRuns(rig.context.get(), rig.reference, kInterpolatedInputs,
                                  {0, 1, 2, 3, 5}, InkWrite::Folded, 4, ++seed, 250);
        }
    }
}

TEST(InterpolatingConversion, SixAndSevenInkPixelsMatchReferenceOverLongSequences) {
    uint32_t seed = 300;
    for (int16_t method : {6, 7}) {
        for (const RigOptions& options : tableVariants(method)) {
            Rig rig(options);
            const std::vector<uint32_t> outs =
                method == 6 ? std::vector<uint32_t>{16, 18} : std::vector<uint32_t>{19, 21};
            checkRandomBitmapRuns(rig.context.get(), rig.reference, kInterpolatedInputs, outs,
                                  InkWrite::MultiInk, method, ++seed, 250);
        }
    }
}

// Six-ink output from a seven-ink table: the member computes and caches all
// seven inks, so later seven-ink runs that hit those entries still get ink 6.
TEST(InterpolatingConversion, SixInkRunsOnSevenInkTableKeepCacheEntriesComplete) {
    RigOptions options;
    options.method = 7;
    options.curveSeed = 21;
    Rig rig(options);
    checkRandomBitmapRuns(rig.context.get(), rig.reference, kInterpolatedInputs, {16, 18, 19, 21},
                          InkWrite::MultiInk, 7, 400, 300);

    // A colour first met by a six-ink run, then converted by a seven-ink run
    // in a later call, is answered from the cache with the true ink 6.
    const uint8_t colour[3] = {0x31, 0x77, 0xc4};
    uint8_t six[6], seven[7];
    ASSERT_EQ(VrelBitmapColorConversion(3, 16, colour, six, 1, 0, 0, 0, rig.context.get()), 0);
    ASSERT_EQ(VrelBitmapColorConversion(3, 19, colour, seven, 1, 0, 0, 0, rig.context.get()), 0);
    const std::array<uint8_t, 3> c = rig.reference.preCorrect(0x31, 0x77, 0xc4);
    const std::array<uint8_t, 8> truth = rig.reference.interpolate(c[0], c[1], c[2], 7);
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(seven[k], truth[k]) << "ink " << k;
    }
}

TEST(InterpolatingConversion, PreCorrectionOnlyPathMatchesReference) {
    for (const RigOptions& base : tableVariants(3)) {
        Rig rig(base);
        rig.context.forceThreeChannel();
        ColourSource colours(base.gridSeed + 500);
        std::mt19937& rng = colours.rng();
        for (int call = 0; call < 200; ++call) {
            const uint32_t in = std::vector<uint32_t>{0, 1, 2, 3, 5}[rng() % 5];
            const uint32_t out = std::vector<uint32_t>{0, 1, 2, 3, 5}[rng() % 5];
            const RunShape shape = randomRunShape(rng, in);
            const uint32_t step = shape.step != 0 ? shape.step : layoutOf(in).bytesPerPixel;
            const std::vector<uint8_t> src = makeSource(in, shape.count, step, colours);
            std::vector<uint8_t> dst =
                guardBuffer(static_cast<size_t>(shape.count) * layoutOf(out).bytesPerPixel + 8);
            std::vector<uint8_t> expected = dst;
            expectPreCorrectionRun(rig.reference, in, out, src, step, expected, shape.count,
                                   shape.skipStart, shape.skipEnd);
            ASSERT_EQ(VrelBitmapColorConversion(in, out, src.data(), dst.data(), shape.count,
                                                shape.skipStart, shape.skipEnd, shape.step,
                                                rig.context.get()),
                      VREL_OK);
            ASSERT_EQ(dst, expected) << "call " << call;
        }
        // This path never touches the cache: every slot is as loaded.
        expectSameCache(*rig.context.get(),
                        ReferenceConverter(*rig.context.get(), 4, base.nodes, rig.grid));
    }
}

} // namespace
} // namespace vrel::test
