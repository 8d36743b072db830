// Random damage to every valid database of the catalogue, and the seed
// corpus in the tree against what the catalogue writes.
#include "battery.h"
#include "core/engine_context.h"
#include "database_catalogue.h"
#include "init_outcome.h"
#include "resources/block_layer.h"
#include "resources/file_layer.h"
#include "seed_corpus.h"
#include "support/test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

using namespace vrel::test;
namespace db = vrel::dbwriter;

constexpr char kName[] = "seed.db";

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
