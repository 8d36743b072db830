#include "fixture_database.h"

#include <algorithm>
#include <cstring>

namespace vrel::windows_check {

namespace dbw = vrel::dbwriter;

namespace {

constexpr uint16_t kProfileNumber = 12;
constexpr int kLayout = 1;
constexpr uint16_t kCorrectionIds[3] = {301, 302, 303};
constexpr uint16_t kConversionId = 400;

// Inks from light: cyan, magenta, yellow from the complements with a little
// cross-talk, black from the darkest of them.
dbw::Bytes fourInks(uint8_t r, uint8_t g, uint8_t b) {
    const int c = 255 - r;
    const int m = 255 - g;
    const int y = 255 - b;
    const int k = std::min({c, m, y});
    return {static_cast<uint8_t>(std::min(255, c + m / 16)),
            static_cast<uint8_t>(std::min(255, m + y / 16)),
            static_cast<uint8_t>(std::min(255, y + c / 16)), static_cast<uint8_t>(k * 3 / 4)};
}

} // namespace

ParamRecord fixtureParams() {
    ParamRecord p;
    std::memset(&p, 0, sizeof p);
    p.profileNumber = kProfileNumber;
    p.keyField14 = 0x0123;
    p.keyField16 = 1;
    p.keyField94 = 0x11;
    p.keyField104 = 2;
    std::strncpy(p.databaseName, kFixtureDatabaseName, sizeof p.databaseName);
    p.density = 3;
    p.paramWord134 = 0x01020304u;
    return p;
}

dbw::Database fixtureDatabase(const ParamRecord& params) {
    dbw::Database db;
    dbw::ProfileIndex index;
    index.layoutWord = dbw::makeLayoutWord(kLayout);
    index.entryLayout = kLayout;

    dbw::ProfileEntry decoy;
    decoy.key = dbw::profileKey(params, kLayout) ^ 0x4u;
    decoy.tableIds = {9, 9, 9};
    decoy.lutChunk = 9;
    decoy.descriptors = dbw::descriptorsForChannels(1);
    decoy.name2 = dbw::makeName("decoy");
    index.entries.push_back(decoy);

    dbw::ProfileEntry entry;
    entry.key = dbw::profileKey(params, kLayout);
    entry.tableIds = {kCorrectionIds[0], kCorrectionIds[1], kCorrectionIds[2]};
    entry.lutChunk = kConversionId;
    entry.descriptors = dbw::descriptorsForChannels(4);
    entry.name1 = dbw::makeName("windows check one");
    entry.name2 = dbw::makeName("windows check two");
    entry.searchKey = 0x31415926u;
    entry.searchPair = 0x00270018u;
    entry.setProfileValue(0x600dcafeu);
    index.entries.push_back(entry);
    db.addProfileIndex(kProfileNumber, index);

    for (int i = 0; i < 3; ++i) {
        db.addColourTable(kCorrectionIds[i],
                          dbw::unmarkedTable(dbw::makeRandomGrid(17, 3, 70u + i)));
    }
    const dbw::Bytes nodes = dbw::defaultNodes();
    db.addColourTable(kConversionId, dbw::tableType1(nodes, dbw::makeGrid(nodes, 4, fourInks)));
    return db;
}

} // namespace vrel::windows_check
