// Single-pixel conversion and line conversion into ink planes.
#include "conversion_rig.h"

#include <gtest/gtest.h>

namespace vrel::test {
namespace {

std::array<uint8_t, 8> inksOf(Rig& rig, uint8_t r, uint8_t g, uint8_t b) {
    const std::array<uint8_t, 3> c = rig.reference.preCorrect(r, g, b);
    return rig.reference.interpolate(c[0], c[1], c[2], 4);
}

TEST(PixelConversion, AcceptsOnlyTheFormatsOfTheMethod) {
    for (int16_t method : {0, 1, 2, 3, 4, 5, 6, 7, 8}) {
        TestContext context(method);
        for (uint32_t format : {0u, 2u, 5u, 9u, 13u, 15u, 22u, 23u}) {
            uint32_t result = 0xdeadbeef;
            const bool accepted = (method == 1 && format == 22) ||
                                  (method == 3 && (format == 2 || format == 5)) ||
                                  (method == 4 && (format == 13 || format == 15));
            const VrelResult r =
                VrelPixelColorConversion(0, format, 0x00808080, &result, context.get());
            if (!accepted) {
                EXPECT_EQ(r, VREL_ERR_PARAM) << method << "/" << format;
                EXPECT_EQ(result, 0xdeadbeefu);
            } else {
                EXPECT_EQ(r, VREL_OK) << method << "/" << format;
            }
        }
    }
}

TEST(PixelConversion, PacksChannelsAsTheFormatsLayThemOut) {
    RigOptions options;
    options.method = 4;
    options.curveSeed = 12;
    Rig rig(options);
    // Cmyk32: value read as blue 0-7, green 8-15, red 16-23; result cyan in
    // the top byte down to black in the bottom one.
    uint32_t result = 0;
    ASSERT_EQ(VrelPixelColorConversion(0, 13, 0xff123456, &result, rig.context.get()), 0);
    std::array<uint8_t, 8> k = inksOf(rig, 0x12, 0x34, 0x56);
    EXPECT_EQ(result, uint32_t{k[0]} << 24 | uint32_t{k[1]} << 16 | uint32_t{k[2]} << 8 | k[3]);
    // Kymc32: value read as red 0-7, green 8-15, blue 16-23; result cyan in
    // the bottom byte up to black in the top one.
    ASSERT_EQ(VrelPixelColorConversion(0, 15, 0x00563412, &result, rig.context.get()), 0);
    EXPECT_EQ(result, uint32_t{k[3]} << 24 | uint32_t{k[2]} << 16 | uint32_t{k[1]} << 8 | k[0]);

    // Xrgb32 on a three-channel context: the folded colour, top byte zero.
    RigOptions three = options;
    three.method = 3;
    Rig rig3(three);
    ASSERT_EQ(VrelPixelColorConversion(0, 5, 0xff123456, &result, rig3.context.get()), 0);
    std::array<uint8_t, 3> folded = foldReference(inksOf(rig3, 0x12, 0x34, 0x56));
    EXPECT_EQ(result, uint32_t{folded[0]} << 16 | uint32_t{folded[1]} << 8 | folded[2]);
    // Xbgr32: red in bits 0-7.
    ASSERT_EQ(VrelPixelColorConversion(0, 2, 0xff563412, &result, rig3.context.get()), 0);
    EXPECT_EQ(result, uint32_t{folded[2]} << 16 | uint32_t{folded[1]} << 8 | folded[0]);
    // Forced three-channel output gives the pre-correction alone.
    rig3.context.forceThreeChannel();
    ASSERT_EQ(VrelPixelColorConversion(0, 5, 0xff123456, &result, rig3.context.get()), 0);
    const std::array<uint8_t, 3> pc = rig3.reference.preCorrect(0x12, 0x34, 0x56);
    EXPECT_EQ(result, uint32_t{pc[0]} << 16 | uint32_t{pc[1]} << 8 | pc[2]);
}

TEST(PixelConversion, BlackPixelTakesItsGreyFromTheTopByte) {
    TestContext context(1); // identity curves: grey 0 gives 255, grey 255 gives 0
    uint32_t result = 0;
    ASSERT_EQ(VrelPixelColorConversion(0, 22, 0x00ffffff, &result, context.get()), 0);
    EXPECT_EQ(result, 0xff000000u);
    ASSERT_EQ(VrelPixelColorConversion(0, 22, 0xc8000000, &result, context.get()), 0);
    EXPECT_EQ(result, 55u << 24);
}

// A driver may hand on the slot of a VrelInit that failed (null) or forget a
// result pointer: every conversion and correction refuses or ignores it
// without touching a byte.
TEST(NullArguments, ConversionsAndCorrectionsOfANullContextWriteNothing) {
    std::array<uint8_t, 64> source{}, destination{};
    for (size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<uint8_t>(37 * i);
    }
    destination.fill(0x5a);
    const auto before = source;
    const auto untouched = destination;
    for (uint32_t out : {2u, 3u, 9u, 13u, 15u, 18u, 21u}) {
        EXPECT_EQ(VrelBitmapColorConversion(VrelFormatRgb24, out, source.data(), destination.data(),
                                            8, 0, 0, 0, nullptr),
                  VREL_ERR_PARAM)
            << out;
    }
    uint32_t result = 0xdeadbeef;
    for (uint32_t format : {2u, 5u, 13u, 15u, 22u}) {
        EXPECT_EQ(VrelPixelColorConversion(0, format, 0x00808080, &result, nullptr),
                  VREL_ERR_PARAM);
        EXPECT_EQ(result, 0xdeadbeefu);
    }
    LineRecord line{};
    line.format = VrelFormatRgb24;
    line.source = source.data();
    for (void*& plane : line.planes) {
        plane = destination.data();
    }
    EXPECT_EQ(VrelLineColorConversion(&line, 8, 0, 0, 0, nullptr), VREL_ERR_PARAM);
    EXPECT_EQ(VrelBitmapColorCorrection(VrelFormatRgb24, source.data(), destination.data(), 8, 0, 0,
                                        nullptr),
              VREL_OK);
    EXPECT_EQ(
        VrelBitmapColorCorrection(VrelFormatRgb24, source.data(), source.data(), 8, 0, 0, nullptr),
        VREL_OK);
    EXPECT_EQ(destination, untouched);
    EXPECT_EQ(source, before);
    // Without a context the single colour comes back uncorrected.
    EXPECT_EQ(VrelPixelColorCorrection(2, 0xff123456, &result, nullptr), VREL_OK);
    EXPECT_EQ(result, 0x00123456u);
    EXPECT_EQ(VrelPixelColorCorrection(2, 0x00123456, nullptr, nullptr), VREL_ERR_PARAM);

    // A real context with a null record or result is refused the same way.
    TestContext context(4);
    EXPECT_EQ(VrelLineColorConversion(nullptr, 8, 0, 0, 0, context.get()), VREL_ERR_PARAM);
    EXPECT_EQ(VrelPixelColorConversion(0, VrelFormatCmyk32, 0x00808080, nullptr, context.get()),
              VREL_ERR_PARAM);
}

TEST(LineConversion, RefusesMethodsWithoutALineForm) {
    for (int16_t method : {-1, 0, 2, 3, 5, 8}) {
        TestContext context(method);
        std::vector<uint8_t> src(64, 9), plane(64, 0xee);
        LineRecord line{3,
                        src.data(),
                        {plane.data(), plane.data(), plane.data(), plane.data(), plane.data(),
                         plane.data(), plane.data()}};
        EXPECT_EQ(VrelLineColorConversion(&line, 10, 0, 0, 0, context.get()), VREL_ERR_PARAM);
        EXPECT_EQ(plane, std::vector<uint8_t>(64, 0xee));
    }
}

TEST(LineConversion, BlackLineWritesPlaneThreeFromGreyOnly) {
    TestContext context(1);
    context.setRandomCurves(4, false);
    std::vector<uint8_t> src(40);
    for (size_t i = 0; i < src.size(); ++i) {
        src[i] = static_cast<uint8_t>(i * 23);
    }
    std::vector<uint8_t> black = guardBuffer(16);
    const std::vector<uint8_t> before = black;
    LineRecord line{
        9, src.data(), {nullptr, nullptr, nullptr, black.data(), nullptr, nullptr, nullptr}};
    // Count 10, skips 2 and 3, step 2: pixels 2..6 from source bytes 4, 6, ..., 12.
    ASSERT_EQ(VrelLineColorConversion(&line, 10, 2, 3, 2, context.get()), 0);
    for (int p = 0; p < 16; ++p) {
        const uint8_t want = (p >= 2 && p <= 6)
                                 ? context->adjustCurves[3][context->greyCurve[src[2 * p]]]
                                 : before[p];
        EXPECT_EQ(black[p], want) << "pixel " << p;
    }
    // An RGB line on the black method writes nothing.
    line.format = 3;
    std::vector<uint8_t> again = black;
    ASSERT_EQ(VrelLineColorConversion(&line, 10, 0, 0, 0, context.get()), 0);
    EXPECT_EQ(black, again);
}

// Random lines of every interpolated source format into four, six or seven
// planes, checked against the model, guard bytes included.
TEST(LineConversion, PlanesMatchReferenceOverLongSequences) {
    for (int16_t method : {4, 6, 7}) {
        RigOptions options;
        options.method = method;
        options.nodes = randomNodes(14, 60 + method);
        options.curveSeed = 61;
        Rig rig(options);
        ColourSource colours(62 + method);
        std::mt19937& rng = colours.rng();
        for (int call = 0; call < 200; ++call) {
            const uint32_t format = std::vector<uint32_t>{0, 1, 2, 3, 5, 9, 22}[rng() % 7];
            const uint32_t count = rng() % 10 == 0 ? 1000 + rng() % 2000 : 1 + rng() % 50;
            const auto skipStart = static_cast<int16_t>(rng() % 2 ? 0 : rng() % (count + 1));
            const auto skipEnd = static_cast<uint16_t>(rng() % 2 ? 0 : rng() % (count + 1));
            const uint32_t size = layoutOf(format).bytesPerPixel;
            const uint32_t passedStep = rng() % 2 ? 0 : size + rng() % 3;
            const uint32_t step = passedStep != 0 ? passedStep : size;
            const std::vector<uint8_t> src = makeSource(format, count, step, colours);
            std::vector<std::vector<uint8_t>> planes, expected;
            LineRecord line{format, src.data(), {}};
            for (int i = 0; i < 7; ++i) {
                planes.push_back(guardBuffer(count + 8, static_cast<uint8_t>(i * 50)));
                line.planes[i] = planes.back().data();
            }
            expected = planes;
            const int32_t n = convertedCount(count, skipStart, skipEnd);
            rig.reference.beginRun();
            for (int32_t p = skipStart; p < skipStart + n; ++p) {
                const uint8_t* px = &src[static_cast<size_t>(p) * step];
                const FormatLayout& f = layoutOf(format);
                const bool grey = isGreyInput(format);
                const std::array<uint8_t, 8> inks = rig.reference.convert(
                    grey ? px[0] : px[f.offset[0]], grey ? px[0] : px[f.offset[1]],
                    grey ? px[0] : px[f.offset[2]], method);
                for (int i = 0; i < method; ++i) {
                    expected[i][p] = inks[i];
                }
            }
            ASSERT_EQ(VrelLineColorConversion(&line, static_cast<uint16_t>(count), skipStart,
                                              skipEnd, passedStep, rig.context.get()),
                      VREL_OK);
            ASSERT_EQ(planes, expected) << "method " << method << " call " << call;
        }
        expectSameCache(*rig.context.get(), rig.reference);
    }
}

TEST(LineConversion, OverlongOrEmptyStretchesConvertNothing) {
    RigOptions options;
    options.method = 4;
    Rig rig(options);
    std::vector<uint8_t> src(3 * 40000, 7);
    std::vector<std::vector<uint8_t>> planes(4, std::vector<uint8_t>(40000, 0xee));
    LineRecord line{3,
                    src.data(),
                    {planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data(),
                     nullptr, nullptr, nullptr}};
    // 40000 pixels: n is negative as a signed 16-bit value.
    ASSERT_EQ(VrelLineColorConversion(&line, 40000, 0, 0, 0, rig.context.get()), 0);
    // count equal to both skips together.
    ASSERT_EQ(VrelLineColorConversion(&line, 10, 4, 6, 0, rig.context.get()), 0);
    for (const auto& plane : planes) {
        EXPECT_EQ(plane, std::vector<uint8_t>(40000, 0xee));
    }
}

TEST(LineConversion, InkLinesOnContextsWithoutTheirTableAreRefused) {
    for (int16_t method : {4, 6, 7}) {
        TestContext context(method); // no group-0 table
        std::vector<uint8_t> src(64, 1), plane(64, 0xee);
        LineRecord line{3, src.data(), {}};
        for (auto& p : line.planes) {
            p = plane.data();
        }
        EXPECT_EQ(VrelLineColorConversion(&line, 10, 0, 0, 0, context.get()), VREL_ERR_PARAM);
        // A line with no pixel to convert needs no table: 0, as is a format
        // the front end does not convert.
        EXPECT_EQ(VrelLineColorConversion(&line, 10, 4, 6, 0, context.get()), VREL_OK);
        EXPECT_EQ(VrelLineColorConversion(&line, 5, 0, 0xffff, 0, context.get()), VREL_OK);
        line.format = 7;
        EXPECT_EQ(VrelLineColorConversion(&line, 10, 0, 0, 0, context.get()), VREL_OK);
        EXPECT_EQ(plane, std::vector<uint8_t>(64, 0xee));
    }
}

} // namespace
} // namespace vrel::test
