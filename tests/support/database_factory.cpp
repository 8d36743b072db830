#include "support/database_factory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace vrel::test {

namespace db = vrel::dbwriter;

uint8_t smoothInk(int q, uint8_t v0, uint8_t v1, uint8_t v2) {
    const int r = v0, g = v1, b = v2;
    switch (q) {
    case 0: return static_cast<uint8_t>(255 - r);
    case 1: return static_cast<uint8_t>(255 - g);
    case 2: return static_cast<uint8_t>(255 - b);
    case 3: return static_cast<uint8_t>(255 - std::max({r, g, b}));
    case 4: return static_cast<uint8_t>((510 - r - g) / 4);
    case 5: return static_cast<uint8_t>((510 - g - b) / 4);
    case 6: return static_cast<uint8_t>((r + 2 * b) / 3);
    default: return static_cast<uint8_t>((r + g + b) / 3);
    }
}

std::vector<std::vector<uint8_t>> fixtureNodeSets() {
    std::vector<std::vector<uint8_t>> sets;
    for (int s = 0; s < 5; ++s) {
        std::vector<uint8_t> nodes = db::defaultNodes();
        for (size_t i = 1; i + 1 < nodes.size(); ++i) nodes[i] = static_cast<uint8_t>(nodes[i] + s);
        sets.push_back(nodes);
    }
    return sets;
}

ParamBuilder fixtureParams(const ProfileOptions& o) {
    ParamBuilder b;
    b.profileNumber(o.profileNumber).keyFields(0x123, 1, 0x15, 0x11, 2, 1).database(o.databaseName);
    return b;
}

std::filesystem::path ProfileFixture::writeTo(const TempDir& dir) {
    params.directoryName = dir.c_str();
    return writeDatabaseFile(dir.path(), options.databaseName, db);
}

namespace {

db::Bytes smoothLut(const std::vector<uint8_t>& nodes, int channels) {
    return db::makeGrid(nodes, channels, [channels](uint8_t v0, uint8_t v1, uint8_t v2) {
        db::Bytes out;
        for (int q = 0; q < channels; ++q) out.push_back(smoothInk(q, v0, v1, v2));
        return out;
    });
}

db::Bytes identityCorrection(const std::vector<uint8_t>& nodes) {
    return db::makeGrid(nodes, 3, [](uint8_t v0, uint8_t v1, uint8_t v2) { return db::Bytes{v0, v1, v2}; });
}

db::ProfileEntry decoyEntry(uint32_t key, int index, int layout) {
    db::ProfileEntry e;
    e.key = key;
    // Chunks that do not exist: opening the wrong profile fails loudly.
    // (Layout 0 has no third table id slot.)
    e.tableIds = {0x7f00u + static_cast<uint32_t>(index), 0x7f10, layout == 0 ? 0u : 0x7f20};
    e.lutChunk = 0x7f30;
    e.descriptors = db::descriptorsForChannels(4);
    e.name1 = db::makeName("decoy name one");
    e.name2 = db::makeName("decoy name two");
    e.searchKey = 0xdeadbeef;
    e.setProfileValue(0xdecdecu + static_cast<uint32_t>(index));
    return e;
}

} // namespace

ProfileFixture makeProfileFixture(const ProfileOptions& o) {
    if (o.method != 1 && o.method != 3 && o.method != 4 && o.method != 6 && o.method != 7)
        throw std::invalid_argument("fixture method must be 1, 3, 4, 6 or 7");
    if (o.layout < 0 || o.layout > 2) throw std::invalid_argument("fixture layout must be 0, 1 or 2");

    ProfileFixture f;
    f.options = o;
    f.params = fixtureParams(o).build();
    f.key = db::profileKey(f.params, o.layout);
    f.db.directoryLayout = o.directories;
    uint32_t seed = o.seed * 7919u;

    // Group 0.
    f.lutNodes = o.lutNodes.empty() ? db::defaultNodes() : o.lutNodes;
    f.lutChannels = (o.method == 1 || o.method == 3) ? 4 : o.method;
    const int n = static_cast<int>(f.lutNodes.size());
    f.lutGrid = o.lutGrid == GridKind::Smooth ? smoothLut(f.lutNodes, f.lutChannels)
                                              : db::makeRandomGrid(n, f.lutChannels, seed++);
    db::ColourTable lut = !o.lutNodes.empty() ? db::tableType1(o.lutNodes, f.lutGrid)
                          : o.lutMarked       ? db::tableType0(f.lutGrid)
                                              : db::unmarkedTable(f.lutGrid);

    // Group 1.
    std::vector<db::ColourTable> corrections;
    if (o.withCorrection) {
        if (o.correctionHeaderType == 2)
            f.correctionNodeSets = fixtureNodeSets();
        else
            f.correctionNodeSets = {o.correctionNodes.empty() ? db::defaultNodes() : o.correctionNodes};
        const int slots = o.layout == 0 ? 2 : 3;
        // The data are written for the first node set; the point count is the same in every set.
        const std::vector<uint8_t>& nodes = f.correctionNodeSets.front();
        for (int s = 0; s < slots; ++s) {
            db::Bytes grid = o.correctionGrid == GridKind::Smooth
                                 ? identityCorrection(nodes)
                                 : db::makeRandomGrid(static_cast<int>(nodes.size()), 3, seed++);
            f.correctionGrids[static_cast<size_t>(s)] = grid;
            switch (o.correctionHeaderType) {
            case 0: corrections.push_back(db::tableType0(grid)); break;
            case 1: corrections.push_back(db::tableType1(nodes, grid)); break;
            case 2: corrections.push_back(db::tableType2(f.correctionNodeSets, grid)); break;
            default: throw std::invalid_argument("correction header type must be 0, 1 or 2");
            }
        }
    }

    // The profile entry.
    db::ProfileEntry& e = f.entry;
    e.key = f.key;
    if (o.withCorrection)
        e.tableIds = {kFactoryCorrectionIds[0], kFactoryCorrectionIds[1], o.layout == 0 ? 0u : kFactoryCorrectionIds[2]};
    e.lutChunk = kLutChunkId;
    e.descriptors = db::descriptorsForChannels(o.method, o.methodThreeViaE256);
    e.name1 = db::makeName("Fixture name one");
    e.name2 = db::makeName("Fixture name two");
    e.searchKey = 0x11223344;
    e.searchPair = 0x00050007;
    e.setProfileValue(0x0badcafe);

    uint32_t flags = 0;
    if (o.layout != 0) {
        flags = o.extraFlags;
        if (o.withExtension) flags |= db::kFlagExtension;
    }
    db::ProfileIndex index;
    index.layoutWord = db::makeLayoutWord(static_cast<uint16_t>(o.layout), flags);
    index.entryLayout = o.layout;
    for (int i = 0; i < o.decoyEntries; ++i) index.entries.push_back(decoyEntry(f.key ^ (0x100u << i), i, o.layout));
    index.entries.push_back(e);
    for (int i = 0; i < o.decoyEntries; ++i)
        index.entries.push_back(decoyEntry(f.key ^ (0x20000u << i), o.decoyEntries + i, o.layout));

    f.db.addProfileIndex(o.profileNumber, std::move(index));
    f.db.addColourTable(kLutChunkId, std::move(lut));
    for (size_t s = 0; s < corrections.size(); ++s) f.db.addColourTable(kFactoryCorrectionIds[s], std::move(corrections[s]));
    if (o.withExtension) {
        static constexpr const char* kSlotNames[3] = {"first", "second", "third"};
        for (size_t s = 0; s < 3; ++s) {
            db::ExtensionChunk& x = f.extensions[s];
            const std::string slot = kSlotNames[s];
            x.extName9 = db::makeName("Ext name9 " + slot);
            x.extName1 = db::makeName("Ext name1 " + slot);
            x.extName10 = db::makeName("Ext name10 " + slot);
            x.extSearchKey = 0xa1b2c300u + static_cast<uint32_t>(s);
            x.extSearchPair = 0x00090000u + static_cast<uint32_t>(s);
            x.extProfileValue = 0xe0e0e000u + static_cast<uint32_t>(s);
            f.db.addExtension(static_cast<uint16_t>(db::kExtensionIdFirst + s), x);
        }
    }
    return f;
}

} // namespace vrel::test
