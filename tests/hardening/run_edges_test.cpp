// Runs at the edges of the run convention: a negative skipStart would start
// a run before its first pixel, skips that together reach the count would
// end it past the last one (the 16-bit difference of 5 - 65535 is 6). Such
// runs convert, correct and write nothing, and return 0 on every context:
// not a byte of the caller's line, nor around it, changes. The buffers hold
// exactly the line and sit inside guard zones, so that a stray write shows in
// any build, not only under AddressSanitizer.
#include "battery.h"
#include "setup/test_hooks.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace vrel::test;

constexpr size_t kGuard = 256;

struct Guarded {
    explicit Guarded(size_t size) : bytes(kGuard + size + kGuard, 0xa7) {}
    uint8_t* run() { return bytes.data() + kGuard; }
    bool untouched() const {
        return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xa7; });
    }
    std::vector<uint8_t> bytes;
};

struct Skips {
    uint16_t count;
    int16_t skipStart;
    uint16_t skipEnd;
};

// Negative starts, and skips that reach or pass the count (the sum
// wrapping in 16 bits to a small or a negative difference).
constexpr Skips kEmptyRuns[] = {{16, -3, 2},    {16, -1, 0}, {5, 0, 0xffff}, {1, 0, 0xffff},
                                {5, 3, 0xfffe}, {16, 16, 0}, {16, 9, 7},     {40, 20, 0xfff0}};

TEST(RunEdges, RunsStartingBeforeOrEndingPastTheLineConvertNothingAndReturnZero) {
    vrel::test::TempDir dir;
    int calls = 0;
    for (const int method : {1, 4, 6, 7}) {
        const std::string name = "edge" + std::to_string(method) + ".db";
        vrel::test::writeDatabaseFile(dir.path(), name,
                                      makeSampleDatabase(recipeForMethod(method)));
        const ParamRecord params = standardParams(0, dir.c_str(), name.c_str());
        EngineContext* context = nullptr;
        ASSERT_EQ(VrelInit(&context, &params), 0);
        vrel::testing::setProfileClass(context, 9);
        if (method != 6 && method != 7) {
            ASSERT_EQ(VrelInitColorConversion(context, VrelModeMono, nullptr), method);
        }
        for (const Skips& r : kEmptyRuns) {
            SCOPED_TRACE(testing::Message() << "method " << method << ", count " << r.count
                                            << ", skips " << r.skipStart << ", " << r.skipEnd);
            for (const uint32_t in : {0u, 3u, 5u, 9u, 10u, 22u}) {
                for (const uint32_t out : {3u, 5u, 9u, 11u, 13u, 15u, 16u, 19u, 21u}) {
                    Guarded source(r.count * 7u);
                    Guarded destination(r.count * 7u);
                    EXPECT_EQ(VrelBitmapColorConversion(in, out, source.run(), destination.run(),
                                                        r.count, r.skipStart, r.skipEnd, 0,
                                                        context),
                              0)
                        << in << " to " << out;
                    EXPECT_TRUE(destination.untouched()) << in << " to " << out;
                    ++calls;
                }
                Guarded source(r.count * 4u);
                std::vector<Guarded> planes(7, Guarded(r.count));
                LineRecord line{};
                line.format = in;
                line.source = source.run();
                for (size_t p = 0; p < 7; ++p) {
                    line.planes[p] = planes[p].run();
                }
                EXPECT_EQ(
                    VrelLineColorConversion(&line, r.count, r.skipStart, r.skipEnd, 0, context), 0)
                    << "line, format " << in;
                for (const Guarded& plane : planes) {
                    EXPECT_TRUE(plane.untouched()) << "line, format " << in;
                }
                Guarded corrected(r.count * 4u);
                VrelBitmapColorCorrection(in, corrected.run(), corrected.run(), r.count,
                                          r.skipStart, r.skipEnd, context);
                EXPECT_TRUE(corrected.untouched()) << "correction, format " << in;
            }
        }
        VrelClose(context);
    }
    EXPECT_EQ(calls, 4 * 8 * 6 * 9);
}

// The number of pixels is a 16-bit difference: count 70000 converts its
// first 4464 pixels (70000 modulo 65536) and returns 0.
TEST(RunEdges, CountsAbove65535ConvertTheirDifferenceModulo65536) {
    vrel::test::TempDir dir;
    vrel::test::writeDatabaseFile(dir.path(), "long.db", makeSampleDatabase(recipeForMethod(4)));
    const ParamRecord params = standardParams(0, dir.c_str(), "long.db");
    EngineContext* context = nullptr;
    ASSERT_EQ(VrelInit(&context, &params), 0);
    const std::vector<uint8_t> source(70000 * 3, 0x40);
    Guarded destination(70000 * 4);
    EXPECT_EQ(VrelBitmapColorConversion(VrelFormatRgb24, VrelFormatCmyk32, source.data(),
                                        destination.run(), 70000, 0, 0, 0, context),
              0);
    const auto written = std::find_if(destination.bytes.rbegin(), destination.bytes.rend(),
                                      [](uint8_t b) { return b != 0xa7; });
    EXPECT_EQ(destination.bytes.rend() - written, static_cast<std::ptrdiff_t>(kGuard + 4464 * 4));
    VrelClose(context);
}

} // namespace
