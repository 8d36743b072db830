// The derived curves: density and balance arithmetic, the composed
// adjustment curves, the fixed input and grey curves, and the grey modes.
#include "setup/derived_curves.h"
#include "table_fixtures.h"

#include <cstring>
#include <gtest/gtest.h>
#include <numeric>

namespace vrel {
namespace {

using tables_test::ScratchContext;

int sum256(const uint8_t* curve) {
    return std::accumulate(curve, curve + 256, 0);
}

bool isIdentity(const uint8_t* curve) {
    for (int i = 0; i < 256; ++i) {
        if (curve[i] != i) {
            return false;
        }
    }
    return true;
}

TEST(DerivedCurves, DensityCurveFollowsItsScaledSetting) {
    uint8_t curve[256];
    densityCurve(curve, 50); // s = 127: (383 * i) / 256
    EXPECT_EQ(curve[128], 191);
    EXPECT_EQ(curve[255], 255); // clamped
    EXPECT_EQ(curve[0], 0);

    densityCurve(curve, -50); // s = -127: (11022 * i - 349885) / 12800, truncated
    EXPECT_EQ(curve[0], 0);   // negative, clamped
    EXPECT_EQ(curve[31], 0);  // -0.64 truncates toward zero
    EXPECT_EQ(curve[40], 7);
    EXPECT_EQ(curve[128], 82);
    EXPECT_EQ(curve[255], 192);
    EXPECT_EQ(sum256(curve), 21442);

    densityCurve(curve, 10); // s = 25
    EXPECT_EQ(curve[200], 219);
    densityCurve(curve, -1); // s = -2
    EXPECT_EQ(curve[1], 0);
    EXPECT_EQ(curve[2], 1);
    EXPECT_EQ(curve[255], 254);

    densityCurve(curve, 0);
    EXPECT_TRUE(isIdentity(curve));
    densityCurve(curve, 1); // s = 2: (258 * i) / 256
    EXPECT_EQ(curve[128], 129);
}

TEST(DerivedCurves, BalanceCurveIsIdentityBeyondItsRange) {
    uint8_t curve[256];
    balanceCurve(curve, -50); // s = -127
    EXPECT_EQ(curve[255], 128);
    balanceCurve(curve, 25); // s = 63
    EXPECT_EQ(curve[100], 149);
    EXPECT_EQ(curve[255], 255);
    balanceCurve(curve, -25); // s = -63 (truncated toward zero)
    EXPECT_EQ(curve[100], 75);
    EXPECT_EQ(curve[255], 192);

    for (int16_t b : {0, 51, -51, 200, -200}) {
        balanceCurve(curve, b);
        EXPECT_TRUE(isIdentity(curve)) << "balance " << b;
    }
    balanceCurve(curve, 50); // s = 127, the strongest positive setting
    EXPECT_EQ(curve[64], 127);
    EXPECT_EQ(curve[128], 255);
}

TEST(DerivedCurves, AdjustCurvesApplyBalanceAfterDensity) {
    SettingsRecord settings{};
    uint8_t curves[4][256];
    buildAdjustCurves(curves, &settings);
    for (const auto& curve : curves) {
        EXPECT_TRUE(isIdentity(curve));
    }

    settings.density = 50;
    const int16_t balance[4] = {-50, 0, 51, 25};
    std::memcpy(settings.balance, balance, sizeof balance);
    EXPECT_EQ(buildAdjustCurves(curves, &settings), 0);
    // density 50 maps 100 -> 149 and 128 -> 191.
    EXPECT_EQ(curves[0][128], 96);
    EXPECT_EQ(curves[0][255], 128);
    EXPECT_EQ(curves[1][100], 149);
    EXPECT_EQ(curves[1][128], 191);
    EXPECT_EQ(curves[2][128], 191);
    EXPECT_EQ(curves[3][100], 222);
    EXPECT_EQ(curves[3][128], 255);
    uint8_t density[256];
    densityCurve(density, 50);
    EXPECT_EQ(std::memcmp(curves[1], density, 256), 0);
}

TEST(DerivedCurves, InputCurvesAreTheFixedTablesOfTheirKinds) {
    struct Expected {
        uint16_t kind;
        int sum;
        uint8_t at[10]; // entries 0, 1, 63, 64, 127, 128, 191, 192, 254, 255
    };
    const Expected expected[] = {
        {10, 38048, {0x00, 0x05, 0x5e, 0x5f, 0x9b, 0x9c, 0xcf, 0xd0, 0xfe, 0xff}},
        {18, 28580, {0x00, 0x00, 0x2a, 0x2b, 0x68, 0x69, 0xb0, 0xb1, 0xfe, 0xff}},
        {22, 25411, {0x00, 0x00, 0x1c, 0x1d, 0x55, 0x56, 0xa2, 0xa3, 0xfd, 0xff}},
    };
    const int positions[10] = {0, 1, 63, 64, 127, 128, 191, 192, 254, 255};
    for (const Expected& e : expected) {
        SettingsRecord settings{};
        settings.inputKind = e.kind;
        uint8_t curve[256];
        std::memset(curve, 0xaa, sizeof curve);
        EXPECT_EQ(buildInputCurve(curve, &settings), 0);
        for (int k = 0; k < 10; ++k) {
            EXPECT_EQ(curve[positions[k]], e.at[k])
                << "kind " << e.kind << " entry " << positions[k];
        }
        // The sum covers every one of the 256 entries, so a lost or doubled
        // byte anywhere in a table shows.
        EXPECT_EQ(sum256(curve), e.sum) << "kind " << e.kind;
        for (int i = 1; i < 256; ++i) {
            ASSERT_GE(curve[i], curve[i - 1]) << "kind " << e.kind << " entry " << i;
        }
    }
    for (uint16_t kind : {0, 14, 32, 11, 0xffff}) {
        SettingsRecord settings{};
        settings.inputKind = kind;
        uint8_t curve[256] = {};
        buildInputCurve(curve, &settings);
        EXPECT_TRUE(isIdentity(curve)) << "kind " << kind;
    }
}

TEST(DerivedCurves, GreyCurveFollowsGreyModeAndAdjustSwitch) {
    const int positions[10] = {0, 1, 63, 64, 127, 128, 191, 192, 254, 255};
    const uint8_t fixedAt[10] = {0xff, 0xfe, 0x72, 0x70, 0x36, 0x36, 0x16, 0x16, 0x00, 0x00};
    auto expectFixed = [&](const uint8_t* curve, const char* what) {
        for (int k = 0; k < 10; ++k) {
            EXPECT_EQ(curve[positions[k]], fixedAt[k]) << what << " entry " << positions[k];
        }
        EXPECT_EQ(sum256(curve), 19452) << what;
    };
    auto expectInverse = [](const uint8_t* curve, const char* what) {
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(curve[i], 255 - i) << what << " entry " << i;
        }
    };

    ScratchContext context;
    SettingsRecord settings{};
    settings.greyMode = 0;
    ASSERT_EQ(buildGreyCurve(context.get(), &settings), 0);
    expectFixed(context->greyCurve, "mode 0");

    settings.greyMode = 2;
    ASSERT_EQ(buildGreyCurve(context.get(), &settings), 0);
    expectInverse(context->greyCurve, "mode 2");

    // Mode 1 without a correction table falls back to the fixed curve.
    settings.greyMode = 1;
    settings.correctionTableId = 0;
    ASSERT_EQ(buildGreyCurve(context.get(), &settings), 0);
    expectFixed(context->greyCurve, "mode 1 without table");

    // Mode 3 names no curve; the engine gives it the fixed curve.
    settings.greyMode = 3;
    ASSERT_EQ(buildGreyCurve(context.get(), &settings), 0);
    expectFixed(context->greyCurve, "mode 3");

    for (uint16_t mode : {0, 1, 3}) {
        settings.greyMode = mode;
        settings.correctionTableId = 7;
        settings.adjustSwitch = 2;
        ASSERT_EQ(buildGreyCurve(context.get(), &settings), 0);
        expectInverse(context->greyCurve, "adjust switch");
    }
}

} // namespace
} // namespace vrel
