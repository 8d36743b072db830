// The profile index records of the JSON description.
#include "description_records.h"

#include <cstring>
#include <fmt/format.h>

namespace vrel::cli::description_detail {

using namespace vrel::dbwriter;

namespace {

uint32_t readKey(const JsonNode& node, int layout) {
    if (!node.isObject())
        return static_cast<uint32_t>(node.integer(0, kU32));
    ParamRecord params;
    std::memset(&params, 0, sizeof params);
    params.keyField94 = static_cast<uint16_t>(node.integerOr("keyField94", 0, 0, kU16));
    params.keyField14 = static_cast<uint16_t>(node.integerOr("keyField14", 0, 0, kU16));
    params.keyField16 = static_cast<uint16_t>(node.integerOr("keyField16", 0, 0, kU16));
    params.keyField104 = static_cast<uint16_t>(node.integerOr("keyField104", 0, 0, kU16));
    params.keyField106 = static_cast<uint16_t>(node.integerOr("keyField106", 0, 0, kU16));
    params.keyField108 = static_cast<uint16_t>(node.integerOr("keyField108", 0, 0, kU16));
    node.finish();
    return profileKey(params, layout);
}

Descriptors readDescriptors(const JsonNode& node) {
    const auto list = node.elements();
    if (list.size() != 8)
        node.fail("must list 8 descriptors");
    Descriptors out{};
    for (std::size_t i = 0; i < 8; ++i) {
        const auto& d = list[i];
        auto& o = out[i];
        o.a = static_cast<uint8_t>(d.integerOr("a", 0, 0, 7));
        o.b = static_cast<uint16_t>(d.integerOr("b", 0, 0, kU16));
        o.c = static_cast<uint8_t>(d.integerOr("c", 0, 0, 255));
        o.d = static_cast<uint16_t>(d.integerOr("d", 0, 0, 4095));
        o.e = static_cast<uint16_t>(d.integerOr("e", 0, 0, 511));
        o.f = static_cast<uint8_t>(d.integerOr("f", 0, 0, 15));
        o.word1High = static_cast<uint8_t>(d.integerOr("word1High", 0, 0, 255));
        o.word2High = static_cast<uint8_t>(d.integerOr("word2High", 0, 0, 255));
        d.finish();
    }
    return out;
}

ProfileEntry readEntry(const JsonNode& node, int layout) {
    ProfileEntry entry;
    entry.key = readKey(node.field("key"), layout);
    if (const auto f = node.optionalField("tableIds")) {
        const auto ids = f->elements();
        if (ids.size() != 3)
            f->fail("must list 3 table ids (selector other, 2, 3)");
        for (std::size_t i = 0; i < 3; ++i)
            entry.tableIds[i] = static_cast<uint32_t>(ids[i].integer(0, kU32));
    }
    entry.lutChunk = static_cast<uint32_t>(node.integerOr("lutChunk", 0, 0, kU32));
    const auto channels = node.optionalField("channels");
    const auto descriptors = node.optionalField("descriptors");
    if (channels && descriptors)
        descriptors->fail("give either channels or descriptors, not both");
    if (descriptors) {
        entry.descriptors = readDescriptors(*descriptors);
    } else if (channels) {
        const auto count = static_cast<int>(channels->integer(0, 8));
        const bool e256 = node.booleanOr("fourWithE256", false);
        if (e256 && count != 3)
            channels->fail("fourWithE256 describes a three-channel profile; channels must be 3");
        entry.descriptors = descriptorsForChannels(count, e256);
    } else {
        node.fail("missing field 'channels'");
    }
    if (const auto f = node.optionalField("name1"))
        entry.name1 = textField<24>(*f);
    if (const auto f = node.optionalField("name2"))
        entry.name2 = textField<24>(*f);
    entry.searchKey = static_cast<uint32_t>(node.integerOr("searchKey", 0, 0, kU32));
    entry.searchPair = static_cast<uint32_t>(node.integerOr("searchPair", 0, 0, kU32));
    entry.setProfileValue(static_cast<uint32_t>(node.integerOr("value", 0, 0, kU32)));
    if (const auto f = node.optionalField("unusedHead"))
        entry.unusedHead = fixedBytes<48>(*f);
    entry.unusedWord = static_cast<uint32_t>(node.integerOr("unusedWord", 0, 0, kU32));
    if (const auto f = node.optionalField("unusedTail"))
        entry.unusedTail = fixedBytes<128>(*f);
    if (const auto f = node.optionalField("extra"))
        entry.extra = f->bytes();
    node.finish();
    return entry;
}

} // namespace

Record readProfileRecord(const JsonNode& node) {
    const auto number = static_cast<uint16_t>(node.field("profileNumber").integer(0, kU16));
    ProfileIndex index;
    int layout = 0;
    if (const auto word = node.optionalField("layoutWord")) {
        // A raw layout word, for files whose word no layout and flags produce.
        index.layoutWord = static_cast<uint32_t>(word->integer(0, kU32));
        layout = decodeLayout(index.layoutWord);
        if (node.has("layout") || node.has("greyMode") || node.has("extension") ||
            node.has("noBlackBalance") || node.has("recordFlags"))
            word->fail("give either layoutWord or layout and flags, not both");
    } else {
        const auto layoutNode = node.field("layout");
        layout = static_cast<int>(layoutNode.integer(INT32_MIN, INT32_MAX));
        if (layout < 0 || layout > 2)
            layoutNode.fail("must be 0, 1 or 2");
        uint32_t flags = static_cast<uint32_t>(node.integerOr("recordFlags", 0, 0, kU32));
        if (node.booleanOr("noBlackBalance", false))
            flags |= kFlagNoBlackBalance;
        if (node.booleanOr("extension", false))
            flags |= kFlagExtension;
        flags |= greyModeFlags(static_cast<uint32_t>(node.integerOr("greyMode", 0, 0, 3)));
        if (layout == 0 && (flags & 0xffff00ffu) != 0)
            node.fail("layout 0 carries only flag bits 8-15 (no noBlackBalance, extension or "
                      "greyMode)");
        if (layout != 0 && (flags & 0xffffu) != 0)
            node.fail("recordFlags bits 0-15 hold the layout number");
        index.layoutWord = makeLayoutWord(static_cast<uint16_t>(layout), flags);
    }
    if (const auto f = node.optionalField("entryLayout"))
        index.entryLayout = static_cast<int>(f->integer(0, 2));
    else if (layout >= 0 && layout <= 2)
        index.entryLayout = layout;
    else
        node.fail(fmt::format(
            "layoutWord names layout {}; give entryLayout (0, 1 or 2) for the entries", layout));
    index.extraWords = static_cast<uint32_t>(node.integerOr("extraWords", 0, 0, 1 << 20));
    if (const auto f = node.optionalField("profileCountOverride"))
        index.profileCountOverride = static_cast<uint32_t>(f->integer(0, kU32));
    if (const auto f = node.optionalField("entryWordsOverride"))
        index.entryWordsOverride = static_cast<uint32_t>(f->integer(0, kU32));
    if (const auto f = node.optionalField("trailing"))
        index.trailing = f->bytes();
    for (const auto& e : node.field("entries").elements()) {
        index.entries.push_back(readEntry(e, index.entryLayout));
        if (index.entries.back().extra.size() > 4 * uint64_t{index.extraWords})
            e.field("extra").fail(
                fmt::format("longer than the {} extraWords of the profile", index.extraWords));
    }
    Record record;
    record.recordClass = kProfileClass;
    record.id = profileRecordId(number);
    readRecordOptions(node, record);
    if (const auto f = node.optionalField("recordId"))
        record.id = static_cast<uint16_t>(f->integer(0, kU16));
    record.content = std::move(index);
    node.finish();
    return record;
}

} // namespace vrel::cli::description_detail
