// The tables a started context holds: the node positions each correction
// table form gives by input kind and selector, the input curve that goes
// with them, the adjustment curves from density and balance, the fixed
// input and grey curves, and the filling of the grey ramp's steps.
#include "core/engine_context.h"
#include "resources/grey_ramp.h"
#include "setup/derived_curves.h"
#include "support/test_support.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <numeric>

namespace {

using namespace vrel::test;
using Curve = std::array<uint8_t, 256>;

Curve identity() {
    Curve c;
    std::iota(c.begin(), c.end(), 0);
    return c;
}

// Node positions of the sample tables: five points, set s moved by s - 2.
std::vector<uint8_t> sampleNodes(int shift) {
    return {0, static_cast<uint8_t>(63 + shift), static_cast<uint8_t>(127 + shift),
            static_cast<uint8_t>(191 + shift), 255};
}

TEST(TableLoading, FormSelectorAndInputKindChooseTheNodesAndTheInputCurve) {
    std::vector<uint8_t> defaultGrid(17);
    for (size_t i = 0; i < 17; ++i) {
        defaultGrid[i] = static_cast<uint8_t>(i == 16 ? 255 : i * 16);
    }
    struct Row {
        TableForm form;
        uint16_t adjustSwitch, selector, inputKind;
        std::vector<uint8_t> nodes;
        uint16_t kindAfter; // 14: the plain input curve
    };
    const Row rows[] = {
        {TableForm::Type2, 0, 0, 10, sampleNodes(-1), 14},
        {TableForm::Type2, 0, 0, 18, sampleNodes(1), 14},
        {TableForm::Type2, 0, 0, 22, sampleNodes(2), 14},
        {TableForm::Type2, 0, 0, 32, sampleNodes(-2), 14},
        {TableForm::Type2, 0, 0, 7, sampleNodes(0), 14},
        {TableForm::Type2, 0, 0, 14, sampleNodes(0), 14},
        {TableForm::Type2, 2, 3, 22, sampleNodes(-2), 14},
        {TableForm::Type1, 2, 3, 10, defaultGrid, 14},
        {TableForm::Type1, 0, 0, 10, sampleNodes(0), 10},
        {TableForm::Type0, 0, 0, 18, defaultGrid, 18},
        {TableForm::Unmarked, 0, 0, 22, defaultGrid, 22},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "form " << static_cast<int>(row.form) << " selector "
                                        << row.selector << " input kind " << row.inputKind);
        SampleRecipe recipe;
        recipe.correctionForm = row.form;
        recipe.fullThirdTable = true;
        SampleFile file(makeSampleDatabase(recipe));
        ParamRecord params = file.params(0);
        params.adjustSwitch = row.adjustSwitch;
        params.tableSelector = row.selector;
        params.inputKind = row.inputKind;
        OpenContext context(params);
        ASSERT_EQ(context.result(), 0);
        const vrel::TableGroup& group = context.get()->groups[1];
        EXPECT_EQ(std::vector<uint8_t>(group.nodes, group.nodes + group.gridPoints), row.nodes);
        EXPECT_EQ(context.get()->settings.inputKind, row.kindAfter);
        Curve expected;
        vrel::SettingsRecord settings{};
        settings.inputKind = row.kindAfter;
        vrel::buildInputCurve(expected.data(), &settings);
        EXPECT_EQ(std::memcmp(context.get()->inputCurve, expected.data(), 256), 0);
    }
}

// The curves on worked values: density, balance (identity beyond its
// range), the fixed input curves of kinds 10, 18 and 22 (sums cover every
// entry) and the grey curve of each grey mode and switch.
TEST(DerivedCurves, CurvesFollowTheirSettings) {
    struct Point {
        int at, value;
    };
    struct Row {
        const char* what;
        void (*build)(uint8_t*, int16_t);
        int16_t setting;
        std::vector<Point> points;
        int sum; // -1: not checked
    };
    const auto density = [](uint8_t* c, int16_t s) { vrel::densityCurve(c, s); };
    const auto balance = [](uint8_t* c, int16_t s) { vrel::balanceCurve(c, s); };
    const auto input = [](uint8_t* c, int16_t kind) {
        vrel::SettingsRecord settings{};
        settings.inputKind = static_cast<uint16_t>(kind);
        EXPECT_EQ(vrel::buildInputCurve(c, &settings), 0);
    };
    const Row rows[] = {
        {"density 50", density, 50, {{0, 0}, {128, 191}, {255, 255}}, -1},
        {"density -50", density, -50, {{0, 0}, {31, 0}, {40, 7}, {128, 82}, {255, 192}}, 21442},
        {"density 10", density, 10, {{200, 219}}, -1},
        {"density -1", density, -1, {{1, 0}, {2, 1}, {255, 254}}, -1},
        {"density 1", density, 1, {{128, 129}}, -1},
        {"balance -50", balance, -50, {{255, 128}}, -1},
        {"balance 25", balance, 25, {{100, 149}, {255, 255}}, -1},
        {"balance -25", balance, -25, {{100, 75}, {255, 192}}, -1},
        {"balance 50", balance, 50, {{64, 127}, {128, 255}}, -1},
        {"input 10", input, 10, {{1, 5}, {63, 94}, {64, 95}, {128, 156}, {192, 208}}, 38048},
        {"input 18", input, 18, {{1, 0}, {63, 42}, {127, 104}, {191, 176}, {254, 254}}, 28580},
        {"input 22", input, 22, {{63, 28}, {64, 29}, {127, 85}, {192, 163}, {254, 253}}, 25411},
    };
    for (const Row& row : rows) {
        Curve curve;
        curve.fill(0xaa);
        row.build(curve.data(), row.setting);
        for (const Point& p : row.points) {
            EXPECT_EQ(curve[p.at], p.value) << row.what << " at " << p.at;
        }
        if (row.sum >= 0) {
            EXPECT_EQ(std::accumulate(curve.begin(), curve.end(), 0), row.sum) << row.what;
        }
    }
    for (const int16_t setting : {0, 51, -51, 200, -200}) {
        Curve curve;
        vrel::balanceCurve(curve.data(), setting);
        EXPECT_EQ(curve, identity()) << "balance " << setting;
        vrel::densityCurve(curve.data(), 0);
        EXPECT_EQ(curve, identity());
    }
    for (const int16_t kind : {0, 14, 32, 11, -1}) {
        Curve curve;
        input(curve.data(), kind);
        EXPECT_EQ(curve, identity()) << "input kind " << kind;
    }
}

// Standard record 1 (density 15, balance 10, -20, 30, -40): each adjustment
// curve is the balance curve applied after the density curve.
TEST(DerivedCurves, StartedContextAppliesBalanceAfterDensity) {
    SampleFile file(makeSampleDatabase(recipeForMethod(4)));
    const ParamRecord params = file.params(1);
    OpenContext context(params);
    ASSERT_EQ(context.result(), VREL_OK_ADJUST);
    Curve densityCurve, balanceCurve;
    vrel::densityCurve(densityCurve.data(), params.density);
    for (int k = 0; k < 4; ++k) {
        vrel::balanceCurve(balanceCurve.data(), params.balance[k]);
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(context.get()->adjustCurves[k][i], balanceCurve[densityCurve[i]])
                << "curve " << k << " entry " << i;
        }
    }
}

TEST(DerivedCurves, GreyCurveFollowsGreyModeAndSwitch) {
    SampleFile file(makeSampleDatabase(recipeForMethod(4)));
    OpenContext context(file.params(0));
    ASSERT_EQ(context.result(), 0);
    EngineContext* c = context.get();
    Curve inverse;
    for (int i = 0; i < 256; ++i) {
        inverse[i] = static_cast<uint8_t>(255 - i);
    }
    const std::vector<std::pair<int, int>> fixedPoints = {
        {0, 0xff}, {1, 0xfe}, {63, 0x72}, {64, 0x70}, {127, 0x36}, {191, 0x16}, {254, 0}};
    struct Row {
        uint16_t greyMode, correctionTableId, adjustSwitch;
        bool fixed;
    };
    for (const Row& row :
         {Row{0, 0, 0, true}, Row{2, 0, 0, false}, Row{1, 0, 0, true}, Row{3, 0, 0, true},
          Row{0, 7, 2, false}, Row{1, 7, 2, false}, Row{3, 7, 2, false}}) {
        SCOPED_TRACE(testing::Message()
                     << "grey mode " << row.greyMode << " switch " << row.adjustSwitch);
        vrel::SettingsRecord settings{};
        settings.greyMode = row.greyMode;
        settings.correctionTableId = row.correctionTableId;
        settings.adjustSwitch = row.adjustSwitch;
        ASSERT_EQ(vrel::buildGreyCurve(c, &settings), 0);
        if (row.fixed) {
            for (const auto& [at, value] : fixedPoints) {
                EXPECT_EQ(c->greyCurve[at], value) << at;
            }
            EXPECT_EQ(std::accumulate(c->greyCurve, c->greyCurve + 256, 0), 19452);
        } else {
            EXPECT_EQ(std::memcmp(c->greyCurve, inverse.data(), 256), 0);
        }
    }
}

// The step filling hands levels of a jump to the flat steps around it.
TEST(GreyRamp, FillingSpreadsJumpsOverNeighbouringFlatSteps) {
    const auto ramp = [](std::vector<std::pair<int, int>> runs) {
        Curve a; // runs of (first index, value falling by one from there)
        for (size_t r = 0; r < runs.size(); ++r) {
            const int end = r + 1 < runs.size() ? runs[r + 1].first : 256;
            for (int i = runs[r].first; i < end; ++i) {
                a[i] = static_cast<uint8_t>(std::max(0, runs[r].second - (i - runs[r].first)));
            }
        }
        return a;
    };
    struct Row {
        const char* what;
        Curve ramp;
        std::vector<std::pair<int, int>> expected;
    };
    Curve flatStart = ramp({{0, 255}, {4, 250}});
    flatStart[1] = flatStart[2] = flatStart[3] = 255;
    Curve flatAfter = ramp({{0, 255}, {1, 250}, {4, 249}});
    flatAfter[2] = flatAfter[3] = 250;
    Curve longFlat = ramp({{0, 255}, {6, 253}}); // five flat steps, then a jump of two
    std::fill(longFlat.begin() + 1, longFlat.begin() + 6, 255);
    Curve tail = ramp({{0, 255}, {1, 255}, {254, 0}});
    tail[255] = 0;
    const Row rows[] = {
        {"falling", ramp({{0, 255}}), {{0, 255}, {100, 155}, {255, 0}}},
        {"flat before a jump", flatStart, {{0, 255}, {1, 254}, {2, 253}, {3, 252}, {4, 250}}},
        {"flat after a jump", flatAfter, {{0, 255}, {1, 252}, {2, 251}, {3, 250}, {4, 249}}},
        {"jump at the end", tail, {{253, 3}, {254, 2}, {255, 1}}},
        {"a jump keeps one level", longFlat, {{3, 255}, {4, 255}, {5, 254}, {6, 253}}},
    };
    for (const Row& row : rows) {
        Curve filled = row.ramp;
        vrel::fillGreyRampSteps(filled.data());
        for (const auto& [at, value] : row.expected) {
            EXPECT_EQ(filled[at], value) << row.what << " at " << at;
        }
    }
}

} // namespace
