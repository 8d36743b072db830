// Soak: contexts of every method opened, used and closed thousands of times
// in turn. Every round must give the results of the first, and once a
// context is closed the live block count is back where it started.
#include "battery.h"
#include "resources/block_layer.h"
#include "resources/file_layer.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <map>

namespace {

using namespace vrel::test;

// A small digest: one run through each kind of kernel the method reaches.
std::vector<uint8_t> roundDigest(EngineContext* context, uint32_t seed) {
    std::vector<uint8_t> digest;
    const RunShape run{24, 3, 2, 0};
    convertBitmapExact(context, 3, 13, run, seed, &digest); // RGB to four inks
    convertBitmapExact(context, 0, 19, run, seed, &digest); // BGR to seven inks
    convertBitmapExact(context, 9, 11, run, seed, &digest); // grey curve
    convertBitmapExact(context, 5, 5, run, seed, &digest);  // three-channel output
    convertLineExact(context, 3, run, seed, &digest);
    correctExact(context, 3, run, true, seed, &digest);
    convertPixel(context, 13, 0x00804020u, &digest);
    onDotExact(context, 40, 3, 5, seed, &digest);
    runQueries(context, &digest);
    return digest;
}

TEST(Soak, ThousandsOfContextsLeaveNoBlockAndNeverChangeTheirResults) {
    constexpr int kRounds = 5000;
    const int methods[] = {1, 3, 4, 6, 7};
    vrel::test::TempDir dir;
    std::vector<std::string> names;
    for (const int method : methods) {
        names.push_back("soak" + std::to_string(method) + ".db");
        vrel::test::writeDatabaseFile(dir.path(), names.back(),
                                      makeSampleDatabase(recipeForMethod(method)));
    }
    const long liveBefore = vrel::testing::liveBlocks();
    // The first digest of each database and record pair; later rounds match it.
    std::map<std::pair<size_t, int>, std::vector<uint8_t>> first;
    for (int round = 0; round < kRounds; ++round) {
        const size_t which = static_cast<size_t>(round) % names.size();
        const int record = (round / static_cast<int>(names.size())) % 2; // records 0 and 1
        const ParamRecord params = standardParams(record, dir.c_str(), names[which].c_str());
        EngineContext* context = nullptr;
        ASSERT_GE(VrelInit(&context, &params), 0) << "round " << round;
        const std::vector<uint8_t> digest = roundDigest(context, static_cast<uint32_t>(which));
        VrelClose(context);
        ASSERT_EQ(vrel::testing::liveBlocks(), liveBefore) << "round " << round;
        ASSERT_EQ(vrel::testing::openFiles(), 0) << "round " << round;
        const auto [known, inserted] = first.try_emplace({which, record}, digest);
        if (!inserted) {
            ASSERT_EQ(digest, known->second) << "round " << round;
        }
    }
    EXPECT_EQ(first.size(), names.size() * 2);
}

} // namespace
