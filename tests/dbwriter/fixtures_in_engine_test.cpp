// The ready-made databases of the test support open in the engine as they
// say: method, channels, nodes, table data in place, and the engine's
// interpolation agrees with the scalar reference on the loaded tables at
// every kernel level.
#include "convert/kernel_set.h"
#include "core/engine_context.h"
#include "resources/block_layer.h"
#include "core/lut_block.h"
#include "support/database_factory.h"
#include "support/reference_model.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace vrel::test;
namespace db = vrel::dbwriter;

const vrel::LutBlock* lutOf(EngineContext* ctx, int group) {
    return static_cast<const vrel::LutBlock*>(ctx->groups[group].lutBlock.address);
}

// The engine's interleaved grid holds the fixture's channel-major data.
void expectGridLoaded(const vrel::LutBlock* lut, const std::vector<uint8_t>& channelMajor,
                      int channels) {
    ASSERT_NE(lut, nullptr);
    ASSERT_EQ(lut->lutChannels, channels);
    const size_t points = static_cast<size_t>(lut->lutGridPoints);
    const size_t cells = points * points * points;
    for (size_t i = 0; i < cells; ++i)
        for (size_t q = 0; q < static_cast<size_t>(channels); ++q)
            ASSERT_EQ(lut->grid()[i * static_cast<size_t>(channels) + q],
                      channelMajor[q * cells + i])
                << "cell " << i << " channel " << q;
}

// Random colours through the engine at every kernel level, with curves that
// make the table coordinates the colour itself: the conversion (group 0)
// with greyCurve[v] = 255 - v and every adjustment curve the identity (so
// that each sum is 255 - v), the correction (group 1) with the identity
// input curve.
void expectInterpolationMatchesReference(EngineContext* ctx, const ReferenceTable& conversion,
                                         const ReferenceTable& correction, uint32_t seed) {
    for (int v = 0; v < 256; ++v) {
        ctx->greyCurve[v] = static_cast<uint8_t>(255 - v);
        ctx->inputCurve[v] = static_cast<uint8_t>(v);
        for (auto& curve : ctx->adjustCurves) {
            curve[v] = static_cast<uint8_t>(v);
        }
    }
    db::Random random(seed);
    std::vector<uint8_t> colours(3 * 3000);
    for (uint8_t& c : colours) {
        c = random.byte();
    }
    for (int level = 0; level <= static_cast<int>(vrel::supportedKernelIsa()); ++level) {
        vrel::testing::limitKernelIsa(static_cast<vrel::KernelIsa>(level));
        std::vector<uint8_t> inks(7 * 3000), corrected(colours.size());
        ASSERT_EQ(VrelBitmapColorConversion(3, 19, colours.data(), inks.data(), 3000, 0, 0, 0, ctx),
                  VREL_OK);
        ASSERT_EQ(VrelBitmapColorCorrection(3, colours.data(), corrected.data(), 3000, 0, 0, ctx),
                  VREL_OK);
        for (size_t i = 0; i < 3000; ++i) {
            const uint8_t v0 = colours[3 * i], v1 = colours[3 * i + 1], v2 = colours[3 * i + 2];
            const std::vector<uint8_t> wantInks = conversion.interpolate(v0, v1, v2);
            const std::vector<uint8_t> wantCorrected = correction.interpolate(v0, v1, v2);
            for (size_t q = 0; q < 7; ++q)
                ASSERT_EQ(inks[7 * i + q], wantInks[q])
                    << "level " << level << " (" << int(v0) << ", " << int(v1) << ", " << int(v2)
                    << ") ink " << q;
            for (size_t q = 0; q < 3; ++q)
                ASSERT_EQ(corrected[3 * i + q], wantCorrected[q])
                    << "level " << level << " (" << int(v0) << ", " << int(v1) << ", " << int(v2)
                    << ") channel " << q;
        }
    }
    vrel::testing::limitKernelIsa(vrel::KernelIsa::Avx2);
}

class FixtureInEngine : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(FixtureInEngine, OpensWithItsMethodAndTables) {
    const auto [method, layout] = GetParam();
    ProfileFixture f = makeProfileFixture({.method = method, .layout = layout});
    TempDir dir;
    f.writeTo(dir);
    OpenContext ctx(f.params);
    ASSERT_EQ(ctx.result(), VREL_OK);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx.get()->conversionMethod, method);

    EXPECT_EQ(ctx.get()->groups[1].channels, 3);
    expectGridLoaded(lutOf(ctx.get(), 1), f.correctionGrids[0], 3);
    if (method == 1) {
        EXPECT_EQ(ctx.get()->groups[0].lutBlock.address, nullptr);
    } else {
        EXPECT_EQ(ctx.get()->groups[0].channels, f.lutChannels);
        expectGridLoaded(lutOf(ctx.get(), 0), f.lutGrid, f.lutChannels);
    }

    uint8_t search[8];
    EXPECT_EQ(VrelGetSearchDataC(ctx.get(), search, 0), 0x0badcafeu);
    EXPECT_EQ(search[0], 0x11);
    EXPECT_EQ(search[3], 0x44);
}

INSTANTIATE_TEST_SUITE_P(EveryMethodAndLayout, FixtureInEngine,
                         ::testing::Combine(::testing::Values(1, 3, 4, 6, 7),
                                            ::testing::Values(0, 1, 2)));

TEST(FixturesInEngine, ThreeChannelsAlsoFromThreePresentDescriptors) {
    ProfileFixture f = makeProfileFixture({.method = 3, .layout = 1, .methodThreeViaE256 = false});
    TempDir dir;
    f.writeTo(dir);
    OpenContext ctx(f.params);
    ASSERT_EQ(ctx.result(), VREL_OK);
    EXPECT_EQ(ctx.get()->conversionMethod, 3);
    EXPECT_EQ(ctx.get()->groups[0].channels, 4);
}

TEST(FixturesInEngine, MethodOverrideLoadsFourChannelsFromEveryFixture) {
    for (int method : {1, 6, 7}) {
        ProfileFixture f = makeProfileFixture({.method = method});
        f.params.methodOverride = 1;
        TempDir dir;
        f.writeTo(dir);
        OpenContext ctx(f.params);
        ASSERT_EQ(ctx.result(), VREL_OK) << method;
        EXPECT_EQ(ctx.get()->conversionMethod, 3);
        EXPECT_EQ(ctx.get()->groups[0].channels, 4);
    }
}

TEST(FixturesInEngine, SelectorsPickTheirCorrectionTable) {
    ProfileFixture f = makeProfileFixture({.layout = 1});
    TempDir dir;
    f.writeTo(dir);
    for (uint16_t selector : {2, 3}) {
        ParamRecord p = f.params;
        p.adjustSwitch = 2;
        p.tableSelector = selector;
        OpenContext ctx(p);
        ASSERT_EQ(ctx.result(), VREL_OK);
        // Layout 1: selector 2 takes the second table id slot, selector 3 the third.
        expectGridLoaded(lutOf(ctx.get(), 1), f.correctionGrids[selector - 1u], 3);
    }
}

TEST(FixturesInEngine, CustomNodesAndUnmarkedTablesLoad) {
    {
        ProfileFixture f = makeProfileFixture({.lutNodes = {0, 64, 128, 192, 255},
                                               .correctionHeaderType = 1,
                                               .correctionNodes = {0, 30, 255}});
        TempDir dir;
        f.writeTo(dir);
        OpenContext ctx(f.params);
        ASSERT_EQ(ctx.result(), VREL_OK);
        EXPECT_EQ(ctx.get()->groups[0].gridPoints, 5);
        EXPECT_EQ(ctx.get()->groups[0].nodes[1], 64);
        EXPECT_EQ(ctx.get()->groups[1].gridPoints, 3);
        EXPECT_EQ(ctx.get()->groups[1].nodes[1], 30);
        expectGridLoaded(lutOf(ctx.get(), 0), f.lutGrid, 4);
        expectGridLoaded(lutOf(ctx.get(), 1), f.correctionGrids[0], 3);
    }
    {
        ProfileFixture f = makeProfileFixture({.lutMarked = false});
        TempDir dir;
        f.writeTo(dir);
        OpenContext ctx(f.params);
        ASSERT_EQ(ctx.result(), VREL_OK);
        expectGridLoaded(lutOf(ctx.get(), 0), f.lutGrid, 4);
    }
}

TEST(FixturesInEngine, NodeSetsOfHeaderType2FollowTheInputKind) {
    ProfileFixture f = makeProfileFixture({.layout = 2, .correctionHeaderType = 2});
    TempDir dir;
    f.writeTo(dir);
    const std::pair<uint16_t, size_t> kinds[] = {{10, 1}, {18, 3}, {22, 4}, {32, 0}, {5, 2}};
    for (const auto& [kind, set] : kinds) {
        ParamRecord p = f.params;
        p.inputKind = kind;
        OpenContext ctx(p);
        ASSERT_EQ(ctx.result(), VREL_OK);
        for (size_t i = 0; i < 17; ++i)
            ASSERT_EQ(ctx.get()->groups[1].nodes[i], f.correctionNodeSets[set][i]) << kind;
    }
}

TEST(FixturesInEngine, ExtensionChunksAnswerThePlainQueries) {
    ProfileFixture f = makeProfileFixture({.layout = 2, .withExtension = true});
    TempDir dir;
    f.writeTo(dir);
    OpenContext ctx(f.params);
    ASSERT_EQ(ctx.result(), VREL_OK);
    uint8_t search[8];
    EXPECT_EQ(VrelGetSearchData(ctx.get(), search, 0), f.extensions[0].extProfileValue);
    EXPECT_EQ(VrelGetSearchDataC(ctx.get(), search, 0), 0x0badcafeu);
    uint8_t name[24];
    VrelGetProfileName(ctx.get(), name, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(name), 15), "Ext name1 first");
}

TEST(FixturesInEngine, EngineInterpolationAgreesWithTheReference) {
    for (const std::vector<uint8_t>& nodes :
         {std::vector<uint8_t>{}, std::vector<uint8_t>{0, 3, 40, 41, 200, 255}}) {
        ProfileFixture f =
            makeProfileFixture({.method = 7,
                                .lutNodes = nodes,
                                .correctionHeaderType = nodes.empty() ? uint8_t{0} : uint8_t{1},
                                .correctionNodes = nodes});
        TempDir dir;
        f.writeTo(dir);
        OpenContext ctx(f.params);
        ASSERT_EQ(ctx.result(), VREL_OK);
        expectInterpolationMatchesReference(
            ctx.get(), ReferenceTable{f.lutNodes, 7, f.lutGrid},
            ReferenceTable{f.correctionNodeSets[0], 3, f.correctionGrids[0]}, 1);
    }
}

} // namespace
