// Runs at the edges of the run convention: a negative skipStart would start
// a run before its first pixel. The conversions convert nothing then, as the
// corrections and on-dot black do: not a byte before or inside the caller's
// buffers changes. The buffers sit inside guard zones so that a write before
// the run shows in any build, not only under AddressSanitizer.
#include "battery.h"
#include "sample_databases.h"
#include "setup/test_hooks.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

using namespace vrel::hardening;

constexpr size_t kGuard = 256;

struct Guarded {
    explicit Guarded(size_t size) : bytes(kGuard + size + kGuard, 0xa7) {}
    uint8_t* run() { return bytes.data() + kGuard; }
    bool untouched() const {
        return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xa7; });
    }
    std::vector<uint8_t> bytes;
};

TEST(RunEdges, NegativeSkipStartConvertsNothingInAnyGroupOrLine) {
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
        for (const uint32_t in : {0u, 3u, 5u, 9u, 10u, 22u}) {
            for (const uint32_t out : {3u, 5u, 9u, 11u, 13u, 15u, 16u, 19u, 21u}) {
                Guarded source(16 * 7);
                Guarded destination(16 * 7);
                const int result = VrelBitmapColorConversion(
                    in, out, source.run(), destination.run(), 16, -3, 2, 0, context);
                // -128 where the context has no table for the pairing.
                EXPECT_TRUE(result == 0 || result == VREL_ERR_PARAM) << in << " to " << out;
                EXPECT_TRUE(destination.untouched())
                    << "method " << method << ", " << in << " to " << out;
                ++calls;
            }
            Guarded source(16 * 4);
            std::vector<Guarded> planes(7, Guarded(16));
            LineRecord line{};
            line.format = in;
            line.source = source.run();
            for (size_t p = 0; p < 7; ++p) {
                line.planes[p] = planes[p].run();
            }
            const int result = VrelLineColorConversion(&line, 16, -1, 0, 0, context);
            EXPECT_TRUE(result == 0 || result == VREL_ERR_PARAM) << "line, format " << in;
            for (const Guarded& plane : planes) {
                EXPECT_TRUE(plane.untouched()) << "line, method " << method << ", format " << in;
            }
        }
        VrelClose(context);
    }
    EXPECT_EQ(calls, 4 * 6 * 9);
}

} // namespace
