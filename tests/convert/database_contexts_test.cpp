// Conversions on contexts opened by VrelInit from database files written by
// the project's writer: the tables, curves and caches are the loader's, the
// expectations the plain model's.
#include "conversion_rig.h"
#include "support/database_factory.h"

#include <gtest/gtest.h>

namespace vrel::test {
namespace {

// Channel-major chunk data to the node-interleaved order of the model.
std::vector<uint8_t> interleaved(const std::vector<uint8_t>& channelMajor, size_t points,
                                 int channels) {
    const size_t cells = points * points * points;
    std::vector<uint8_t> grid(cells * channels);
    for (size_t i = 0; i < cells; ++i) {
        for (int q = 0; q < channels; ++q) {
            grid[i * channels + q] = channelMajor[q * cells + i];
        }
    }
    return grid;
}

struct OpenedProfile {
    ProfileFixture fixture;
    TempDir dir;
    std::unique_ptr<OpenContext> context;
    std::unique_ptr<ReferenceConverter> reference;
};

std::unique_ptr<OpenedProfile> open(const ProfileOptions& options) {
    auto p = std::make_unique<OpenedProfile>();
    p->fixture = makeProfileFixture(options);
    p->fixture.writeTo(p->dir);
    p->context = std::make_unique<OpenContext>(p->fixture.params);
    if (!*p->context) {
        ADD_FAILURE() << "VrelInit gave " << p->context->result();
        return nullptr;
    }
    const std::vector<uint8_t> nodes = p->fixture.lutNodes;
    p->reference = std::make_unique<ReferenceConverter>(
        *p->context->get(), p->fixture.lutChannels, nodes,
        interleaved(p->fixture.lutGrid, nodes.size(), p->fixture.lutChannels));
    return p;
}

const std::vector<uint32_t> kInputs = {0, 1, 2, 3, 5, 9, 22};

TEST(DatabaseContexts, InterpolatedBitmapsMatchReferenceForEveryMethodAndLayout) {
    uint32_t seed = 900;
    for (int method : {3, 4, 6, 7}) {
        for (int layout : {0, 1, 2}) {
            ProfileOptions options;
            options.method = method;
            options.layout = layout;
            options.seed = ++seed;
            if (layout == 1) {
                options.lutNodes = randomNodes(11, seed);
            }
            SCOPED_TRACE("method " + std::to_string(method) + " layout " + std::to_string(layout));
            auto p = open(options);
            ASSERT_NE(p, nullptr);
            EngineContext* context = p->context->get();
            ASSERT_EQ(context->conversionMethod, method);
            if (method <= 4) {
                checkRandomBitmapRuns(context, *p->reference, kInputs, {13, 15}, InkWrite::FourInk,
                                      4, seed, 120);
                checkRandomBitmapRuns(context, *p->reference, kInputs, {0, 1, 2, 3, 5},
                                      InkWrite::Folded, 4, seed + 1, 120);
            } else {
                const std::vector<uint32_t> outs = method == 6
                                                       ? std::vector<uint32_t>{16, 18}
                                                       : std::vector<uint32_t>{16, 18, 19, 21};
                checkRandomBitmapRuns(context, *p->reference, kInputs, outs, InkWrite::MultiInk,
                                      method, seed, 150);
            }
        }
    }
}

TEST(DatabaseContexts, LinesAndPixelsMatchReference) {
    for (int method : {4, 6, 7}) {
        ProfileOptions options;
        options.method = method;
        options.layout = 2;
        options.seed = 70 + method;
        auto p = open(options);
        ASSERT_NE(p, nullptr);
        EngineContext* context = p->context->get();
        ColourSource colours(options.seed);
        for (int call = 0; call < 60; ++call) {
            const uint32_t format = kInputs[colours.rng()() % kInputs.size()];
            const uint32_t count = 1 + colours.rng()() % 300;
            const uint32_t step = layoutOf(format).bytesPerPixel;
            const std::vector<uint8_t> src = makeSource(format, count, step, colours);
            std::vector<std::vector<uint8_t>> planes(7, guardBuffer(count + 4)), expected;
            LineRecord line{format, src.data(), {}};
            for (int i = 0; i < 7; ++i) {
                line.planes[i] = planes[i].data();
            }
            expected = planes;
            p->reference->beginRun();
            for (uint32_t px = 1; px + 1 < count; ++px) {
                const uint8_t* s = &src[px * step];
                const FormatLayout& f = layoutOf(format);
                const bool grey = isGreyInput(format);
                const std::array<uint8_t, 8> inks = p->reference->convert(
                    grey ? s[0] : s[f.offset[0]], grey ? s[0] : s[f.offset[1]],
                    grey ? s[0] : s[f.offset[2]], method);
                for (int i = 0; i < method; ++i) {
                    expected[i][px] = inks[i];
                }
            }
            ASSERT_EQ(
                VrelLineColorConversion(&line, static_cast<uint16_t>(count), 1, 1, 0, context),
                VREL_OK);
            ASSERT_EQ(planes, expected) << "method " << method << " call " << call;
        }
        if (method == 4) {
            p->reference->beginRun();
            const std::array<uint8_t, 8> k = p->reference->convert(0x12, 0x34, 0x56, 4);
            uint32_t result = 0;
            ASSERT_EQ(VrelPixelColorConversion(0, 13, 0x00123456, &result, context), 0);
            EXPECT_EQ(result,
                      uint32_t{k[0]} << 24 | uint32_t{k[1]} << 16 | uint32_t{k[2]} << 8 | k[3]);
        }
        expectSameCache(*context, *p->reference);
    }
}

// A black-method context has no group-0 table: its grey paths work from the
// curves, every interpolating pairing is refused without writing.
TEST(DatabaseContexts, BlackMethodServesGreyAndRefusesInterpolation) {
    ProfileOptions options;
    options.method = 1;
    auto p = open(options);
    ASSERT_NE(p, nullptr);
    EngineContext* context = p->context->get();
    ASSERT_EQ(context->groups[0].lutBlock.address, nullptr);
    std::vector<uint8_t> src(32);
    for (size_t i = 0; i < src.size(); ++i) {
        src[i] = static_cast<uint8_t>(i * 8);
    }
    std::vector<uint8_t> plane = guardBuffer(32);
    LineRecord line{
        9, src.data(), {nullptr, nullptr, nullptr, plane.data(), nullptr, nullptr, nullptr}};
    ASSERT_EQ(VrelLineColorConversion(&line, 32, 0, 0, 0, context), 0);
    uint8_t black8[32];
    ASSERT_EQ(VrelBitmapColorConversion(9, 11, src.data(), black8, 32, 0, 0, 0, context), 0);
    for (int i = 0; i < 32; ++i) {
        const uint8_t want = context->adjustCurves[3][context->greyCurve[src[i]]];
        EXPECT_EQ(plane[i], want);
        EXPECT_EQ(black8[i], want);
    }
    uint32_t result = 0;
    ASSERT_EQ(VrelPixelColorConversion(0, 22, 0x10000000, &result, context), 0);
    EXPECT_EQ(result, uint32_t(255 - context->adjustCurves[3][context->greyCurve[0x10]]) << 24);
    for (uint32_t out : {0u, 13u, 16u, 19u}) {
        std::vector<uint8_t> dst = guardBuffer(64);
        const std::vector<uint8_t> before = dst;
        EXPECT_EQ(VrelBitmapColorConversion(3, out, src.data(), dst.data(), 8, 0, 0, 0, context),
                  VREL_ERR_PARAM);
        EXPECT_EQ(dst, before);
    }
}

} // namespace
} // namespace vrel::test
