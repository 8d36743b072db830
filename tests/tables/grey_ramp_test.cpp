// The grey curve of grey mode 1: the corrected grey ramp and the filling of
// its steps, checked on worked examples, against a reference written from the
// steps, and for its properties on random ramps.
#include "correction_reference.h"
#include "setup/derived_curves.h"
#include "resources/grey_ramp.h"
#include "resources/table_loading.h"
#include "table_fixtures.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace vrel {
namespace {

using Ramp = std::array<uint8_t, 256>;

// The filling, one step of the description after the other.
Ramp referenceFill(Ramp a) {
    std::vector<int> d(256);
    auto steps = [&] {
        for (int i = 0; i < 255; ++i) {
            d[i] = static_cast<int16_t>(a[i] - a[i + 1]);
        }
        d[255] = 0;
    };
    auto rebuild = [&] {
        for (int i = 0; i < 255; ++i) {
            a[i + 1] = static_cast<uint8_t>(a[i] - d[i]);
        }
    };
    steps();
    for (int i = 0; i <= 254; ++i) {
        if (d[i] == 0 && d[i + 1] > 1) {
            const int start = d[i + 1];
            int j = i, moved = 0;
            while (j >= 0 && d[j] == 0 && d[i + 1] != 0 && moved < start - 1) {
                d[j] = 1;
                d[i + 1] -= 1;
                --j, ++moved;
            }
        }
    }
    rebuild();
    steps();
    for (int i = 0; i <= 254; ++i) {
        if (d[i + 1] == 0 && d[i] > 1) {
            const int start = d[i];
            int j = i + 1, moved = 0;
            while (j <= 255 && d[j] == 0 && d[i] != 0 && moved < start - 1) {
                d[j] = 1;
                d[i] -= 1;
                ++j, ++moved;
            }
        }
    }
    rebuild();
    return a;
}

Ramp filled(Ramp a) {
    fillGreyRampSteps(a.data());
    return a;
}

TEST(GreyRampFilling, SpreadsJumpsOverNeighbouringFlatSteps) {
    // A strictly falling ramp, one level per step, is left as it is.
    Ramp falling;
    for (int i = 0; i < 256; ++i) {
        falling[i] = static_cast<uint8_t>(255 - i);
    }
    EXPECT_EQ(filled(falling), falling);

    // Flat start, then a jump of 5: the jump hands one level to each of the
    // three flat steps before it and keeps two.
    Ramp backward;
    backward[0] = backward[1] = backward[2] = backward[3] = 255;
    for (int i = 4; i < 256; ++i) {
        backward[i] = static_cast<uint8_t>(std::max(0, 250 - (i - 4)));
    }
    const Ramp b = filled(backward);
    EXPECT_EQ(b[0], 255);
    EXPECT_EQ(b[1], 254);
    EXPECT_EQ(b[2], 253);
    EXPECT_EQ(b[3], 252);
    EXPECT_EQ(b[4], 250);

    // A jump of 5 followed by two flat steps: they take one level each.
    Ramp forward;
    forward[0] = 255;
    forward[1] = forward[2] = forward[3] = 250;
    for (int i = 4; i < 256; ++i) {
        forward[i] = static_cast<uint8_t>(std::max(0, 249 - (i - 4)));
    }
    const Ramp f = filled(forward);
    EXPECT_EQ(f[0], 255);
    EXPECT_EQ(f[1], 252);
    EXPECT_EQ(f[2], 251);
    EXPECT_EQ(f[3], 250);
    EXPECT_EQ(f[4], forward[4]);

    // A jump just before the end spreads over the last step and the step slot
    // 255, which no rebuild reads: the curve ends one level above the ramp.
    Ramp tail;
    tail[0] = 255;
    for (int i = 1; i <= 253; ++i) {
        tail[i] = static_cast<uint8_t>(256 - i);
    }
    tail[254] = tail[255] = 0;
    const Ramp t = filled(tail);
    EXPECT_EQ(t[253], 3);
    EXPECT_EQ(t[254], 2);
    EXPECT_EQ(t[255], 1);
}

// Random ramps as a corrected grey produces them: mostly falling, with flat
// runs, jumps of several levels and the odd rising step.
Ramp randomRamp(std::mt19937& rng) {
    Ramp a;
    int level = 200 + static_cast<int>(rng() % 56);
    for (int i = 0; i < 256; ++i) {
        a[i] = static_cast<uint8_t>(level);
        const unsigned pick = rng() % 16;
        int step = pick < 6 ? 0 : pick < 11 ? 1 : pick < 15 ? 2 + static_cast<int>(rng() % 6) : -1;
        if (level - step < 0 || level - step > 255) {
            step = 0;
        }
        level -= step;
    }
    return a;
}

TEST(GreyRampFilling, MatchesTheStepwiseReferenceAndKeepsTheDescent) {
    std::mt19937 rng(20240611);
    for (int trial = 0; trial < 2000; ++trial) {
        const Ramp original = randomRamp(rng);
        const Ramp result = filled(original);
        ASSERT_EQ(result, referenceFill(original)) << "trial " << trial;

        // The first level is kept, and so is the total descent, except for
        // at most the one level that the forward walk hands to slot 255.
        ASSERT_EQ(result[0], original[0]);
        ASSERT_GE(result[255], original[255]) << "trial " << trial;
        ASSERT_LE(result[255] - original[255], 1) << "trial " << trial;

        // No flat step stays next to a jump of two or more where a level
        // could have been handed over.
        int d[255];
        for (int i = 0; i < 255; ++i) {
            d[i] = result[i] - result[i + 1];
        }
        for (int i = 0; i + 1 < 255; ++i) {
            ASSERT_FALSE(d[i] == 0 && d[i + 1] >= 2) << "trial " << trial << " step " << i;
            ASSERT_FALSE(d[i] >= 2 && d[i + 1] == 0) << "trial " << trial << " step " << i;
        }
    }
}

// Grey mode 1 corrects the greys 0..255 through table group 1, takes
// 255 minus their luminance and fills the steps.
TEST(GreyRampFilling, GreyModeOneUsesTheCorrectedGreyRamp) {
    tables_test::ScratchContext context;
    tables_test::CorrectionTable table;
    // Along the diagonal the table alternates gentle cells (flat steps) and
    // steep ones (jumps), which the filling has to even out.
    table.table.nodes = {0, 20, 40, 41, 90, 128, 200, 255};
    const int diagonal[8] = {0, 10, 60, 61, 70, 200, 210, 255};
    const int n = static_cast<int>(table.table.nodes.size());
    std::mt19937 rng(77);
    table.table.grid.resize(static_cast<size_t>(n) * n * n * 3);
    for (int q = 0; q < 3; ++q) {
        for (int i0 = 0; i0 < n; ++i0) {
            for (int i1 = 0; i1 < n; ++i1) {
                for (int i2 = 0; i2 < n; ++i2) {
                    const int v =
                        i0 == i1 && i1 == i2 ? diagonal[i0] : static_cast<int>(rng() % 256);
                    table.table
                        .grid[static_cast<size_t>(q) * n * n * n + i0 * n * n + i1 * n + i2] =
                        static_cast<uint8_t>(v);
                }
            }
        }
    }
    for (int i = 0; i < 256; ++i) {
        table.inputCurve[i] = static_cast<uint8_t>(i);
        context->inputCurve[i] = static_cast<uint8_t>(i);
    }
    ASSERT_EQ(buildTableGroup(context.get(), 1, 3, static_cast<uint8_t>(n),
                              table.table.nodes.data(), table.table.grid.data()),
              0);

    SettingsRecord settings{};
    settings.greyMode = 1;
    settings.correctionTableId = 5;
    ASSERT_EQ(buildGreyCurve(context.get(), &settings), 0);

    // Each grey is the first pixel of its own call; white's key is the
    // registers' start key, so white comes back as white.
    tables_test::ReferenceCorrector corrector(table, kKernelFlagsDefault);
    Ramp expected;
    for (int i = 0; i < 256; ++i) {
        corrector.beginCall();
        const auto rgb = corrector.pixel(static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                                         static_cast<uint8_t>(i));
        int luminance = (77 * rgb[0] + 151 * rgb[1] + 28 * rgb[2] + 128) / 256;
        expected[i] = static_cast<uint8_t>(255 - (luminance > 255 ? 255 : luminance));
    }
    const Ramp filledExpected = referenceFill(expected);
    EXPECT_NE(filledExpected, expected); // the table is uneven enough to need filling
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(context->greyCurve[i], filledExpected[i]) << "grey " << i;
    }
    EXPECT_EQ(context->greyCurve[255], expected[255]); // white keeps its level
}

} // namespace
} // namespace vrel
