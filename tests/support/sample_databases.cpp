// Valid sample databases and the standard parameter records.
#include "support/test_support.h"

#include <cstring>

namespace vrel::test {

namespace db = vrel::dbwriter;

namespace {

constexpr uint16_t kStandardProfile = 0; // records 0, 1, 2: id 1000
constexpr uint16_t kSecondProfile = 7;   // record 3: id 1007

// k node positions from 0 to 255, evenly spaced, moved inwards by shift.
db::Bytes spacedNodes(int k, int shift) {
    db::Bytes nodes(static_cast<size_t>(k));
    for (int i = 0; i < k; ++i) {
        int v = i * 255 / (k - 1);
        if (i != 0 && i != k - 1) {
            v += shift;
        }
        nodes[static_cast<size_t>(i)] = static_cast<uint8_t>(v);
    }
    return nodes;
}

db::ColourTable makeTable(TableForm form, int points, int channels, uint32_t seed,
                          const db::Bytes& nodes = {}) {
    switch (form) {
    case TableForm::Unmarked:
        return db::unmarkedTable(db::makeRandomGrid(db::kDefaultGridPoints, channels, seed));
    case TableForm::Type0:
        return db::tableType0(db::makeRandomGrid(db::kDefaultGridPoints, channels, seed));
    case TableForm::Type1:
        if (!nodes.empty()) {
            return db::tableType1(
                nodes, db::makeRandomGrid(static_cast<int>(nodes.size()), channels, seed));
        }
        return db::tableType1(spacedNodes(points, 0), db::makeRandomGrid(points, channels, seed));
    case TableForm::Type2: {
        std::vector<db::Bytes> sets;
        for (int s = 0; s < 5; ++s) {
            sets.push_back(spacedNodes(points, s - 2));
        }
        return db::tableType2(std::move(sets), db::makeRandomGrid(points, channels, seed));
    }
    }
    return {};
}

db::ProfileEntry makeEntry(const SampleRecipe& recipe, uint32_t key, const char* name) {
    db::ProfileEntry e;
    e.key = key;
    if (recipe.correction) {
        e.tableIds = {kCorrectionChunkIds[0], kCorrectionChunkIds[1], kCorrectionChunkIds[2]};
    }
    e.lutChunk = kConversionChunkId;
    e.descriptors = db::descriptorsForChannels(recipe.channels, recipe.fourWithE256);
    e.name1 = db::makeName(std::string(name) + "-one");
    e.name2 = db::makeName(std::string(name) + "-two");
    e.searchKey = 0x11223344u + key;
    e.searchPair = 0x00050007u;
    e.setProfileValue(0xc0ffee00u + static_cast<uint32_t>(recipe.layout));
    return e;
}

} // namespace

ParamRecord standardParams(int index, const char* directory, const char* databaseName) {
    ParamRecord p;
    std::memset(&p, 0, sizeof p);
    // The name field holds 20 bytes; a name that fills it has no NUL.
    const size_t length = std::strlen(databaseName);
    std::memcpy(p.databaseName, databaseName,
                length < sizeof p.databaseName ? length : sizeof p.databaseName);
    p.directoryName = directory;
    p.profileNumber = kStandardProfile;
    switch (index) {
    case 1: // adjustments on: selector 2, input kind 10, balance and density
        p.adjustSwitch = 1;
        p.tableSelector = 2;
        p.inputKind = 10;
        p.balance[0] = 10;
        p.balance[1] = -20;
        p.balance[2] = 30;
        p.balance[3] = -40;
        p.density = 15;
        break;
    case 2: // selector 3, input kind 22, three-channel output forced
        p.adjustSwitch = 2;
        p.tableSelector = 3;
        p.inputKind = 22;
        p.methodOverride = 1;
        p.density = -30;
        break;
    case 3: // another profile, found by a key with every field in use
        p.profileNumber = kSecondProfile;
        p.keyField94 = 0x25;
        p.keyField14 = 0x1ab;
        p.keyField104 = 0x93;
        p.keyField106 = 2;
        p.keyField108 = 1;
        p.inputKind = 18;
        break;
    default:
        break;
    }
    return p;
}

db::Database makeSampleDatabase(const SampleRecipe& recipe) {
    db::Database d;
    d.directoryLayout =
        recipe.sharedDirectory ? db::DirectoryLayout::Shared : db::DirectoryLayout::Separate;
    const uint32_t flags = recipe.layout == 0 ? 0u : recipe.recordFlags;
    const int entryLayout = recipe.layout;
    const ParamRecord second = standardParams(3, nullptr, "x");

    db::ProfileIndex first;
    first.layoutWord = db::makeLayoutWord(static_cast<uint16_t>(recipe.layout), flags);
    first.entryLayout = entryLayout;
    first.entries.push_back(makeEntry(recipe, 0x00ff0001u, "decoy")); // never matches
    first.entries.push_back(makeEntry(recipe, 0, "sample"));
    d.addProfileIndex(kStandardProfile, first);

    db::ProfileIndex other = first;
    other.entries = {makeEntry(recipe, db::profileKey(second, recipe.layout), "second")};
    d.addProfileIndex(kSecondProfile, other);

    if (recipe.correction) {
        for (int i = 0; i < 3; ++i) {
            db::ColourTable table = makeTable(recipe.correctionForm, recipe.correctionPoints, 3,
                                              recipe.seed * 7 + static_cast<uint32_t>(i));
            // The third table is read with selector 3, which lays a type-1
            // table on the default grid whatever its own nodes say.
            if (i == 2 && recipe.correctionForm == TableForm::Type1 && recipe.fullThirdTable) {
                table.data = db::makeRandomGrid(db::kDefaultGridPoints, 3, recipe.seed);
            }
            d.addColourTable(kCorrectionChunkIds[i], std::move(table));
        }
    }
    // Every sample carries a four-channel-or-wider conversion table so that
    // the forced three-channel record finds one too; method 1 ignores it.
    const int tableChannels = recipe.channels <= 4 ? 4 : recipe.channels;
    TableForm form =
        recipe.conversionForm == TableForm::Type2 ? TableForm::Type1 : recipe.conversionForm;
    d.addColourTable(kConversionChunkId, makeTable(form, recipe.conversionPoints, tableChannels,
                                                   recipe.seed * 13, recipe.conversionNodes));

    if ((flags & db::kFlagExtension) != 0) {
        const uint16_t ids[3] = {db::kExtensionIdFirst, db::kExtensionIdSecond,
                                 db::kExtensionIdThird};
        for (int i = 0; i < 3; ++i) {
            db::ExtensionChunk ext;
            ext.extName9 = db::makeName("ext-nine-" + std::to_string(i));
            ext.extName1 = db::makeName("ext-one-" + std::to_string(i));
            ext.extName10 = db::makeName("ext-ten-" + std::to_string(i));
            ext.extSearchKey = 0xa0b0c0d0u + static_cast<uint32_t>(i);
            ext.extSearchPair = 0x00010002u;
            ext.extProfileValue = 0x5150u + static_cast<uint32_t>(i);
            d.addExtension(ids[i], ext);
        }
    }
    return d;
}

SampleRecipe recipeForMethod(int method) {
    SampleRecipe s;
    s.channels = method;
    if (method == 3) {
        s.fourWithE256 = true;
    }
    s.seed = static_cast<uint32_t>(method);
    s.fullThirdTable = true;
    return s;
}

} // namespace vrel::test
