// Every database of the catalogue, valid and broken, opened from a real file:
// the result of VrelInit, the state of the slot, open files and live blocks
// are checked for each; then random damage to the valid ones.
#include "battery.h"
#include "core/engine_context.h"
#include "database_catalogue.h"
#include "init_outcome.h"
#include "resources/block_layer.h"
#include "resources/file_layer.h"
#include "support/test_support.h"
#include "seed_corpus.h"
#include "support/test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>

namespace {

using namespace vrel::test;
namespace db = vrel::dbwriter;

constexpr char kName[] = "seed.db";

TEST(MalformedDatabases, EveryCatalogueEntryGivesItsResultAndLeavesNothingBehind) {
    int broken = 0;
    for (const CatalogueEntry& entry : databaseCatalogue()) {
        SCOPED_TRACE(entry.name);
        vrel::test::TempDir dir;
        vrel::test::writeDatabaseFile(dir.path(), kName, entry.database);
        const ParamRecord params = standardParams(entry.params, dir.c_str(), kName);
        const long liveBefore = vrel::testing::liveBlocks();

        EngineContext* slot = untouchedSlotMarker();
        const int result = VrelInit(&slot, &params);
        EXPECT_EQ(result, entry.expected);
        EXPECT_EQ(vrel::testing::openFiles(), 0);
        switch (entry.slot) {
        case SlotAfter::Context:
            ASSERT_NE(slot, nullptr);
            ASSERT_NE(slot, untouchedSlotMarker());
            EXPECT_EQ(slot->ready, 1u);
            (void)runBattery(slot, BatteryOptions{.everyPair = false});
            VrelClose(slot);
            break;
        case SlotAfter::Null:
            EXPECT_EQ(slot, nullptr);
            ++broken;
            break;
        case SlotAfter::Unchanged:
            EXPECT_EQ(slot, untouchedSlotMarker());
            ++broken;
            break;
        }
        EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore);
    }
    RecordProperty("malformed_cases", broken);
    EXPECT_GE(broken, 40);
}

TEST(MalformedDatabases, NamesAreUniqueAndEveryBrokenFileSaysWhatIsWrong) {
    std::set<std::string> names;
    for (const CatalogueEntry& entry : databaseCatalogue()) {
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
        EXPECT_EQ(entry.damage.empty(), entry.slot == SlotAfter::Context) << entry.name;
    }
}

TEST(MalformedDatabases, NullSlotReadsTheDatabaseAndAllocatesNothing) {
    vrel::test::TempDir dir;
    vrel::test::writeDatabaseFile(dir.path(), kName, makeSampleDatabase(SampleRecipe{}));
    const ParamRecord params = standardParams(0, dir.c_str(), kName);
    const long liveBefore = vrel::testing::liveBlocks();
    EXPECT_EQ(VrelInit(nullptr, &params), VREL_ERR_PARAM);
    EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore);
    EXPECT_EQ(vrel::testing::openFiles(), 0);
}

// Random byte changes, insertions of extreme words and truncations of every
// valid sample: whatever VrelInit answers must agree with the slot, close
// every file and, on failure, free every block.
TEST(MalformedDatabases, RandomDamageNeverBreaksTheStartUpContract) {
    vrel::test::TempDir dir;
    db::Random random(20240601);
    int attempts = 0;
    int failures = 0;
    for (const CatalogueEntry& entry : databaseCatalogue()) {
        if (entry.slot != SlotAfter::Context) {
            continue;
        }
        const db::Bytes pristine = db::writeDatabase(entry.database);
        for (int round = 0; round < 40; ++round) {
            db::Bytes bytes = pristine;
            const uint32_t changes = 1 + random.below(4);
            for (uint32_t c = 0; c < changes; ++c) {
                const size_t at = random.below(static_cast<uint32_t>(bytes.size()));
                switch (random.below(3)) {
                case 0:
                    bytes[at] = random.byte();
                    break;
                case 1: // an extreme little-endian word
                    for (size_t i = 0; i < 4 && at + i < bytes.size(); ++i) {
                        bytes[at + i] = round % 2 == 0 ? 0xff : (i == 3 ? 0x80 : 0x00);
                    }
                    break;
                default:
                    bytes.resize(at + 1);
                    break;
                }
            }
            vrel::test::writeBytesFile(dir.path(), kName, bytes);
            const ParamRecord params = standardParams(entry.params, dir.c_str(), kName);
            const long liveBefore = vrel::testing::liveBlocks();
            EngineContext* slot = untouchedSlotMarker();
            const int result = VrelInit(&slot, &params);
            const char* problem =
                checkInitOutcome(result, slot, params.adjustSwitch == 1, liveBefore);
            ASSERT_EQ(problem, nullptr) << entry.name << " round " << round << ": " << problem;
            if (result == 0 || result == 1) {
                (void)runBattery(slot, BatteryOptions{.everyPair = false});
                VrelClose(slot);
            } else {
                ++failures;
            }
            ASSERT_EQ(vrel::testing::liveBlocks(), liveBefore);
            ++attempts;
        }
    }
    RecordProperty("damaged_files", attempts);
    EXPECT_GT(failures, attempts / 4); // the damage does reach the checks
}

TEST(SeedCorpus, FilesInTheTreeMatchWhatTheCatalogueWrites) {
    for (const SeedFile& seed : seedCorpus()) {
        const std::string path =
            std::string(VREL_SEED_CORPUS_DIR) + "/" + seed.target + "/" + seed.name;
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in.good()) << path << " is missing: run vrel_seed_corpus fuzz/corpus";
        const std::vector<uint8_t> onDisk{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
        EXPECT_EQ(onDisk, seed.bytes) << path << " differs: run vrel_seed_corpus fuzz/corpus";
    }
}

} // namespace
