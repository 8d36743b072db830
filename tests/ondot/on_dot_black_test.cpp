// On-dot black against a per-pixel reference written bit by bit from the two
// rules, over random planes, line lengths and ranges.
#include "correct/on_dot_rules.h"
#include "core/engine_context.h"

#include <array>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kGuardBytes = 16; // bytes past the line that must never change

using Planes = std::array<std::vector<uint8_t>, 4>;

std::unique_ptr<EngineContext> contextWithMethod(int16_t method) {
    auto context = std::make_unique<EngineContext>();
    context->conversionMethod = method;
    return context;
}

bool bitOf(const std::vector<uint8_t>& plane, int pixel) {
    return ((plane[pixel / 8] >> (7 - pixel % 8)) & 1) != 0;
}

void setBit(std::vector<uint8_t>& plane, int pixel, bool value) {
    const auto bit = static_cast<uint8_t>(0x80 >> (pixel % 8));
    plane[pixel / 8] =
        static_cast<uint8_t>(value ? (plane[pixel / 8] | bit) : (plane[pixel / 8] & ~bit));
}

// The processed pixels, written straight from the rules: [skipStart,
// count - skipEnd), nothing when skipStart is negative or the end is not past
// it; the line never extends past count (a negative skipEnd counts as 0, a
// negative count as an empty line).
struct Range {
    int first, end, lineBytes;
};

Range rangeOf(int count, int skipStart, int skipEnd) {
    const int pixels = count < 0 ? 0 : count;
    const int end = pixels - (skipEnd < 0 ? 0 : skipEnd);
    if (skipStart < 0 || end <= skipStart) {
        return {0, 0, (pixels + 7) / 8};
    }
    return {skipStart, end, (pixels + 7) / 8};
}

void referenceBlack(Planes& planes, int count, int skipStart, int skipEnd) {
    const Range r = rangeOf(count, skipStart, skipEnd);
    for (int p = r.first; p < r.end; ++p) {
        setBit(planes[3], p, !bitOf(planes[3], p));
    }
}

void referenceFourColour(Planes& planes, int count, int skipStart, int skipEnd) {
    const Range r = rangeOf(count, skipStart, skipEnd);
    for (int i = 0; i < r.lineBytes; ++i) {
        planes[3][i] = 0;
    }
    for (int p = r.first; p < r.end; ++p) {
        const bool k = !(bitOf(planes[0], p) || bitOf(planes[1], p) || bitOf(planes[2], p));
        setBit(planes[3], p, k);
        setBit(planes[0], p, !(bitOf(planes[0], p) || k));
        setBit(planes[1], p, !(bitOf(planes[1], p) || k));
        setBit(planes[2], p, !(bitOf(planes[2], p) || k));
    }
}

Planes randomPlanes(std::mt19937& rng, int bytes) {
    Planes planes;
    for (auto& plane : planes) {
        plane.resize(static_cast<size_t>(bytes));
        for (auto& b : plane) {
            b = static_cast<uint8_t>(rng());
        }
    }
    return planes;
}

VrelResult runOnDot(Planes& planes, int count, int skipStart, int skipEnd, EngineContext* context) {
    return VrelOnDotBlack(planes[0].data(), planes[1].data(), planes[2].data(), planes[3].data(),
                          static_cast<int16_t>(count), static_cast<int16_t>(skipStart),
                          static_cast<int16_t>(skipEnd), 0, context);
}

void expectPlanesEqual(const Planes& actual, const Planes& expected, const char* what) {
    for (int p = 0; p < 4; ++p) {
        ASSERT_EQ(actual[p], expected[p]) << what << ", plane " << p;
    }
}

// Runs one rule on the planes; the export by default.
using Runner = std::function<void(Planes&, int count, int skipStart, int skipEnd)>;

Runner exportRunner(EngineContext* context) {
    return [context](Planes& planes, int count, int skipStart, int skipEnd) {
        ASSERT_EQ(runOnDot(planes, count, skipStart, skipEnd, context), VREL_OK);
    };
}

// Random lines: mostly short ones (every partial-byte shape), some long
// enough to run many blocks with odd tails.
void runRandomCases(int16_t method, uint32_t seed, const Runner& run) {
    std::mt19937 rng(seed);
    for (int iteration = 0; iteration < 4000; ++iteration) {
        const int count =
            (iteration % 4 == 0) ? static_cast<int>(rng() % 2400) : static_cast<int>(rng() % 80);
        const int skipStart = static_cast<int>(rng() % (count + 12)) - 4;
        const int skipEnd = static_cast<int>(rng() % (count + 12)) - 4;
        const int lineBytes = (count + 7) / 8;
        Planes expected = randomPlanes(rng, lineBytes + kGuardBytes);
        Planes actual = expected;
        if (method == VrelMethodBlack) {
            referenceBlack(expected, count, skipStart, skipEnd);
        } else {
            referenceFourColour(expected, count, skipStart, skipEnd);
        }
        run(actual, count, skipStart, skipEnd);
        SCOPED_TRACE(testing::Message()
                     << "count " << count << " skipStart " << skipStart << " skipEnd " << skipEnd);
        expectPlanesEqual(actual, expected, "random line");
    }
}

TEST(OnDotBlack, BlackRuleMatchesPerPixelInversionOverRandomRanges) {
    auto context = contextWithMethod(VrelMethodBlack);
    runRandomCases(VrelMethodBlack, 1234, exportRunner(context.get()));
}

TEST(OnDotBlack, FourColourRuleMatchesPerPixelRulesOverRandomRanges) {
    auto context = contextWithMethod(VrelMethodFourColor);
    runRandomCases(VrelMethodFourColor, 98765, exportRunner(context.get()));
}

// The export picks its block width from the processor; every width the
// library can pick is checked here directly, whatever this processor has.
template <typename Block> void expectBlockWidthMatchesReference(uint32_t seed) {
    using namespace vrel::ondot;
    const auto rangeOfRun = [](int count, int skipStart, int skipEnd) {
        const int pixels = count < 0 ? 0 : count;
        return bitRange(skipStart, pixels - (skipEnd < 0 ? 0 : skipEnd));
    };
    runRandomCases(VrelMethodBlack, seed,
                   [&](Planes& planes, int count, int skipStart, int skipEnd) {
                       invertRange<Block>(planes[3].data(), rangeOfRun(count, skipStart, skipEnd));
                   });
    runRandomCases(VrelMethodFourColor, seed + 1,
                   [&](Planes& planes, int count, int skipStart, int skipEnd) {
                       const int lineBytes = ((count < 0 ? 0 : count) + 7) / 8;
                       fourColourRange<Block>(planes[0].data(), planes[1].data(), planes[2].data(),
                                              planes[3].data(), lineBytes,
                                              rangeOfRun(count, skipStart, skipEnd));
                   });
}

TEST(OnDotBlack, EveryBlockWidthMatchesThePerPixelRules) {
    expectBlockWidthMatchesReference<vrel::ondot::WordBlock>(11);
#if VREL_HAS_VECTOR_BLOCKS
    expectBlockWidthMatchesReference<vrel::ondot::VectorBlock16>(13);
    expectBlockWidthMatchesReference<vrel::ondot::VectorBlock32>(15);
#endif
}

TEST(OnDotBlack, EveryRangeOfAShortLineMatchesTheReference) {
    // Exhaustive over every start and end of a 40-pixel line, including
    // ranges inside one byte and both byte-aligned ends.
    for (int16_t method : {int16_t{VrelMethodBlack}, int16_t{VrelMethodFourColor}}) {
        auto context = contextWithMethod(method);
        std::mt19937 rng(static_cast<uint32_t>(method));
        const int count = 40;
        for (int skipStart = 0; skipStart <= count; ++skipStart) {
            for (int skipEnd = 0; skipStart + skipEnd <= count; ++skipEnd) {
                Planes expected = randomPlanes(rng, 5 + kGuardBytes);
                Planes actual = expected;
                if (method == VrelMethodBlack) {
                    referenceBlack(expected, count, skipStart, skipEnd);
                } else {
                    referenceFourColour(expected, count, skipStart, skipEnd);
                }
                ASSERT_EQ(runOnDot(actual, count, skipStart, skipEnd, context.get()), VREL_OK);
                SCOPED_TRACE(testing::Message() << "method " << method << " skipStart " << skipStart
                                                << " skipEnd " << skipEnd);
                expectPlanesEqual(actual, expected, "short line");
            }
        }
    }
}

TEST(OnDotBlack, BlackRuleInvertsOnlyTheRangeOfPlaneThree) {
    auto context = contextWithMethod(VrelMethodBlack);
    Planes planes = {std::vector<uint8_t>{0x11, 0x22}, std::vector<uint8_t>{0x33, 0x44},
                     std::vector<uint8_t>{0x55, 0x66}, std::vector<uint8_t>{0x0f, 0xf0}};
    ASSERT_EQ(runOnDot(planes, 16, 0, 0, context.get()), VREL_OK);
    EXPECT_EQ(planes[3], (std::vector<uint8_t>{0xf0, 0x0f}));
    EXPECT_EQ(planes[0], (std::vector<uint8_t>{0x11, 0x22}));
    EXPECT_EQ(planes[1], (std::vector<uint8_t>{0x33, 0x44}));
    EXPECT_EQ(planes[2], (std::vector<uint8_t>{0x55, 0x66}));

    // Pixels 3, 4 and 5 only: mask 0x1c of byte 0.
    planes[3] = {0x00, 0x00};
    ASSERT_EQ(runOnDot(planes, 6, 3, 0, context.get()), VREL_OK);
    EXPECT_EQ(planes[3], (std::vector<uint8_t>{0x1c, 0x00}));
}

TEST(OnDotBlack, FourColourRuleFollowsItsTruthTable) {
    auto context = contextWithMethod(VrelMethodFourColor);
    // Columns of one byte: bit 7 white, bit 6 only cyan dark, bit 5 cyan and
    // magenta dark, bit 4 all three dark; the lower bits all dark too.
    Planes planes = {std::vector<uint8_t>{0x80}, std::vector<uint8_t>{0xc0},
                     std::vector<uint8_t>{0xe0}, std::vector<uint8_t>{0xa5}};
    ASSERT_EQ(runOnDot(planes, 8, 0, 0, context.get()), VREL_OK);
    EXPECT_EQ(planes[0][0], 0x60); // cyan dots where cyan was dark, but not under black
    EXPECT_EQ(planes[1][0], 0x20);
    EXPECT_EQ(planes[2][0], 0x00);
    EXPECT_EQ(planes[3][0], 0x1f); // black wherever all three were dark

    planes = {std::vector<uint8_t>{0xff}, std::vector<uint8_t>{0xff}, std::vector<uint8_t>{0xff},
              std::vector<uint8_t>{0xff}};
    ASSERT_EQ(runOnDot(planes, 8, 0, 0, context.get()), VREL_OK);
    for (const auto& plane : planes) {
        EXPECT_EQ(plane[0], 0x00);
    }
}

TEST(OnDotBlack, FourColourRuleClearsTheWholeBlackLineEvenOutsideTheRange) {
    auto context = contextWithMethod(VrelMethodFourColor);
    Planes planes = {std::vector<uint8_t>{0x12, 0xff, 0x77}, std::vector<uint8_t>{0x34, 0xff, 0x77},
                     std::vector<uint8_t>{0x56, 0xff, 0x77},
                     std::vector<uint8_t>{0xff, 0xff, 0xff}};
    // skipStart 8, count 16: byte 0 of C, M, Y keeps its content, byte 0 of
    // K becomes 0; byte 2 lies past the line and is not touched.
    ASSERT_EQ(runOnDot(planes, 16, 8, 0, context.get()), VREL_OK);
    EXPECT_EQ(planes[0], (std::vector<uint8_t>{0x12, 0x00, 0x77}));
    EXPECT_EQ(planes[1], (std::vector<uint8_t>{0x34, 0x00, 0x77}));
    EXPECT_EQ(planes[2], (std::vector<uint8_t>{0x56, 0x00, 0x77}));
    EXPECT_EQ(planes[3], (std::vector<uint8_t>{0x00, 0x00, 0xff}));

    // An empty range still clears the black plane, and only the black plane.
    planes[3] = {0xff, 0xff, 0xff};
    ASSERT_EQ(runOnDot(planes, 12, 6, 6, context.get()), VREL_OK);
    EXPECT_EQ(planes[0], (std::vector<uint8_t>{0x12, 0x00, 0x77}));
    EXPECT_EQ(planes[3], (std::vector<uint8_t>{0x00, 0x00, 0xff}));
}

TEST(OnDotBlack, EmptyInvertedAndNegativeStartRangesChangeNoColourBit) {
    auto context = contextWithMethod(VrelMethodBlack);
    std::mt19937 rng(77);
    const Planes original = randomPlanes(rng, 8);
    const int cases[][3] = {{32, 10, 22}, {32, 20, 20}, {32, 33, 0}, {32, -1, 0},
                            {32, -8, 4},  {-5, 0, 0},   {0, 0, 0}};
    for (const auto& c : cases) {
        Planes planes = original;
        ASSERT_EQ(runOnDot(planes, c[0], c[1], c[2], context.get()), VREL_OK);
        expectPlanesEqual(planes, original, "empty range");
    }
}

// A negative pixel count is a line of no pixel for both rules (the black
// plane's clear would otherwise be sized from it); a line of no pixel touches
// no plane address, not even a null one; a null context is refused before
// any plane is read.
TEST(OnDotBlack, LinesOfNoPixelAndNullContextsChangeNoPlane) {
    std::mt19937 rng(91);
    const Planes original = randomPlanes(rng, 8);
    for (int16_t method : {VrelMethodBlack, VrelMethodFourColor}) {
        auto context = contextWithMethod(method);
        for (const auto& c :
             {std::array{-5, 0, 0}, std::array{-1, 0, -40}, std::array{-64, -3, 0}}) {
            Planes planes = original;
            ASSERT_EQ(runOnDot(planes, c[0], c[1], c[2], context.get()), VREL_OK) << method;
            expectPlanesEqual(planes, original, "negative count");
        }
        for (const int16_t count : {0, -5}) {
            EXPECT_EQ(
                VrelOnDotBlack(nullptr, nullptr, nullptr, nullptr, count, 0, 0, 0, context.get()),
                VREL_OK)
                << method;
        }
    }
    Planes planes = original;
    EXPECT_EQ(runOnDot(planes, 32, 0, 0, nullptr), VREL_ERR_PARAM);
    expectPlanesEqual(planes, original, "null context");
}

TEST(OnDotBlack, OtherMethodsAreRefusedWithoutTouchingAPlane) {
    std::mt19937 rng(5);
    const Planes original = randomPlanes(rng, 8);
    for (int16_t method : {0, 2, 3, 5, 6, 7, -1, 260}) {
        auto context = contextWithMethod(method);
        Planes planes = original;
        EXPECT_EQ(runOnDot(planes, 64, 0, 0, context.get()), VREL_ERR_PARAM) << method;
        expectPlanesEqual(planes, original, "refused method");
    }
}

} // namespace
