// Ready-made valid profile databases for the test suite: one profile per
// conversion method (1, 3, 4, 6, 7) and record layout (0, 1, 2), with its
// group-0 conversion table, group-1 correction tables and optionally the
// extension chunks, plus the ParamRecord that selects the profile.
//
//   ProfileFixture f = makeProfileFixture({.method = 6, .layout = 2});
//   TempDir dir;
//   f.writeTo(dir);               // writes the file and sets params.directoryName
//   OpenContext ctx(f.params);     // VrelInit
//
// Everything is deterministic for a given seed.
#pragma once

#include "support/param_builder.h"
#include "support/test_support.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include <vrel/dbwriter.h>

namespace vrel::test {

enum class GridKind : uint8_t {
    Random, // pseudo-random bytes from the seed
    Smooth, // a smooth function of the node values (see smoothInk / identity below)
};

// Chunk ids used by the fixtures.
inline constexpr uint16_t kLutChunkId = 0x200;
inline constexpr std::array<uint16_t, 3> kFactoryCorrectionIds = {0x101, 0x102, 0x103};

struct ProfileOptions {
    int method = 4; // 1, 3, 4, 6 or 7: the profile's channel count (3: see methodThreeViaE256)
    int layout = 0; // record layout 0, 1 or 2
    dbwriter::DirectoryLayout directories = dbwriter::DirectoryLayout::Separate;

    // Group 0 (conversion table). Empty nodes: the default 17-point grid,
    // written as header type 0 (or without the mark when lutMarked is false);
    // nodes given: header type 1.
    GridKind lutGrid = GridKind::Random;
    std::vector<uint8_t> lutNodes{};
    bool lutMarked = true;

    // Group 1 (three-channel correction tables, one per table id slot:
    // 0x101 for selector other, 0x102 for 2, 0x103 for 3; layout 0 has two
    // slots and the engine uses 0x101 for selector 3).
    bool withCorrection = true; // false: tableIds all 0 (no group-1 table)
    GridKind correctionGrid = GridKind::Random;
    uint8_t correctionHeaderType = 0;       // 0, 1 (correctionNodes) or 2 (five node sets)
    std::vector<uint8_t> correctionNodes{}; // type 1 nodes; empty: the default nodes

    // Extension chunks 0x640, 0x641, 0x642 and, for layouts 1 and 2, the
    // flagExtension bit (a layout-0 layout word cannot carry it).
    bool withExtension = false;
    uint32_t extraFlags =
        0; // more recordFlags (kFlagNoBlackBalance, greyModeFlags(m)); layouts 1, 2

    bool methodThreeViaE256 = true; // method 3: four present channels, descriptor 0 e = 256
    int decoyEntries = 2;           // entries with other keys before and after the match
    uint16_t profileNumber = 7;
    uint32_t seed = 1;
    std::string databaseName = "profiles.db";
};

struct ProfileFixture {
    ProfileOptions options{};
    dbwriter::Database db{};
    ParamRecord params{};           // selects the profile; directoryName set by writeTo
    dbwriter::ProfileEntry entry{}; // the matching entry
    uint32_t key = 0;               // its key

    // Group 0: the table written at kLutChunkId. Its channels are the
    // method's (4 for methods 1 and 3, so that methodOverride 1 works on
    // every fixture); channel-major data as in the file.
    std::vector<uint8_t> lutNodes{};
    int lutChannels = 0;
    std::vector<uint8_t> lutGrid{};

    // Group 1, per table id slot (empty when withCorrection is false; slot 2
    // is empty for layout 0, where the engine takes slot 0 instead).
    std::array<std::vector<uint8_t>, 3> correctionGrids{};
    // The nodes of the correction tables: header types 0 and 1 have one
    // set; header type 2 has five (set index as the loader chooses it by inputKind).
    std::vector<std::vector<uint8_t>> correctionNodeSets{};

    std::array<dbwriter::ExtensionChunk, 3> extensions{}; // 0x640, 0x641, 0x642

    // Writes the database into dir (as options.databaseName) and points
    // params.directoryName at dir (kept alive by dir).
    std::filesystem::path writeTo(const TempDir& dir);
};

ProfileFixture makeProfileFixture(const ProfileOptions& options = {});

// The key fields every fixture's ParamRecord carries.
ParamBuilder fixtureParams(const ProfileOptions& options);

// Smooth group-0 values: ink q of the node (v0, v1, v2).
uint8_t smoothInk(int q, uint8_t v0, uint8_t v1, uint8_t v2);

// Five node sets of 17 points for header type 2: set s is the default grid
// with the inner nodes moved up by s.
std::vector<std::vector<uint8_t>> fixtureNodeSets();

} // namespace vrel::test
