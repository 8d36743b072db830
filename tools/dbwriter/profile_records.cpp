// Profile index records: layout word, profile keys,
// channel descriptors and the three payload layouts.
#include "byte_io.h"

#include <algorithm>
#include <stdexcept>
#include <vrel/dbwriter.h>

namespace vrel::dbwriter {

using namespace detail;

Name24 makeName(std::string_view text) {
    Name24 name{};
    const size_t n = std::min(text.size(), name.size());
    for (size_t i = 0; i < n; ++i)
        name[i] = static_cast<uint8_t>(text[i]);
    return name;
}

uint32_t payloadBytes(int layout) {
    switch (layout) {
    case 0:
        return kPayloadBytesLayout0;
    case 1:
        return kPayloadBytesLayout1;
    case 2:
        return kPayloadBytesLayout2;
    default:
        return 0;
    }
}

uint32_t makeLayoutWord(uint16_t layout, uint32_t flags) {
    if (layout == 0)
        return flags & 0xff00u;
    return (flags & 0xffff0000u) | layout;
}

int decodeLayout(uint32_t layoutWord) {
    return format::layoutOf(layoutWord);
}

uint32_t decodeRecordFlags(uint32_t layoutWord) {
    return format::recordFlagsOf(layoutWord);
}

// ---------------------------------------------------------------- keys

uint32_t keyA(const ParamRecord& p) {
    return format::profileKeyA(&p);
}

uint32_t keyB(const ParamRecord& p) {
    return format::profileKeyB(&p);
}

uint32_t profileKey(const ParamRecord& p, int layout) {
    return layout == 2 ? keyB(p) : keyA(p);
}

// --------------------------------------------------------- descriptors

uint32_t packDescriptorA(const ChannelDescriptor& d) {
    return (static_cast<uint32_t>(d.a) & 0x7u) | ((static_cast<uint32_t>(d.b) & 0x1fu) << 3) |
           ((static_cast<uint32_t>(d.c) & 0x7u) << 8) |
           ((static_cast<uint32_t>(d.d) & 0xfffu) << 11) |
           ((static_cast<uint32_t>(d.e) & 0x1ffu) << 23);
}

std::array<uint32_t, 2> packDescriptorB(const ChannelDescriptor& d) {
    const uint32_t word1 =
        (static_cast<uint32_t>(d.a) & 0x7u) | ((static_cast<uint32_t>(d.d) & 0xfffu) << 3) |
        ((static_cast<uint32_t>(d.e) & 0x1ffu) << 15) | (static_cast<uint32_t>(d.word1High) << 24);
    const uint32_t word2 = static_cast<uint32_t>(d.b) | (static_cast<uint32_t>(d.c) << 16) |
                           (static_cast<uint32_t>(d.word2High) << 24);
    return {word1, word2};
}

uint32_t packDescriptorNibbles(const Descriptors& d) {
    uint32_t nibbles = 0;
    for (int i = 0; i < 8; ++i)
        nibbles |= (static_cast<uint32_t>(d[static_cast<size_t>(i)].f) & 0xfu) << (28 - 4 * i);
    return nibbles;
}

uint8_t descriptorNibble(uint32_t nibbles, int index) {
    return static_cast<uint8_t>((nibbles >> (28 - 4 * index)) & 0xfu);
}

ChannelDescriptor unpackDescriptorA(uint32_t w, uint8_t nibble) {
    ChannelDescriptor d;
    d.a = static_cast<uint8_t>(w & 0x7u);
    d.b = static_cast<uint16_t>((w >> 3) & 0x1fu);
    d.c = static_cast<uint8_t>((w >> 8) & 0x7u);
    d.d = static_cast<uint16_t>((w >> 11) & 0xfffu);
    d.e = static_cast<uint16_t>((w >> 23) & 0x1ffu);
    d.f = static_cast<uint8_t>(nibble & 0xfu);
    return d;
}

ChannelDescriptor unpackDescriptorB(uint32_t w1, uint32_t w2, uint8_t nibble) {
    ChannelDescriptor d;
    d.a = static_cast<uint8_t>(w1 & 0x7u);
    d.d = static_cast<uint16_t>((w1 >> 3) & 0xfffu);
    d.e = static_cast<uint16_t>((w1 >> 15) & 0x1ffu);
    d.word1High = static_cast<uint8_t>(w1 >> 24);
    d.b = static_cast<uint16_t>(w2 & 0xffffu);
    d.c = static_cast<uint8_t>((w2 >> 16) & 0xffu);
    d.word2High = static_cast<uint8_t>(w2 >> 24);
    d.f = static_cast<uint8_t>(nibble & 0xfu);
    return d;
}

Descriptors descriptorsForChannels(int count, bool fourWithE256) {
    if (count < 0 || count > 8)
        throw std::invalid_argument("channel count outside 0..8");
    Descriptors d{};
    int present = count;
    if (count == 3 && fourWithE256) {
        present = 4;
        d[0].e = format::kThreeChannelMarker;
    }
    for (int i = 0; i < present; ++i)
        d[static_cast<size_t>(i)].c = 1;
    return d;
}

int channelCountOf(const Descriptors& d) {
    int present = 0;
    for (const ChannelDescriptor& x : d)
        present += x.c != 0 ? 1 : 0;
    return format::channelCountOf(present, d[0].e);
}

// -------------------------------------------------------------- entries

void ProfileEntry::setProfileValue(uint32_t value) {
    for (int i = 0; i < 4; ++i)
        profileValue[static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t ProfileEntry::profileValueWord() const {
    return static_cast<uint32_t>(profileValue[0]) | (static_cast<uint32_t>(profileValue[1]) << 8) |
           (static_cast<uint32_t>(profileValue[2]) << 16) |
           (static_cast<uint32_t>(profileValue[3]) << 24);
}

// Names, search key and pair and the profile value: 68 bytes that follow the
// descriptor nibbles in all three payloads.
static void putNamesAndSearch(Bytes& out, const ProfileEntry& e) {
    putBytes(out, e.name1);
    putBytes(out, e.name2);
    putU32(out, e.searchKey);
    putU32(out, e.searchPair);
    putBytes(out, e.profileValue);
}

static void getNamesAndSearch(std::span<const uint8_t> in, size_t at, ProfileEntry& e) {
    getBytes(in, at, e.name1);
    getBytes(in, at + 24, e.name2);
    e.searchKey = getU32(in, at + 48);
    e.searchPair = getU32(in, at + 52);
    getBytes(in, at + 56, e.profileValue);
}

Bytes encodeProfilePayload(const ProfileEntry& e, int layout) {
    Bytes out;
    out.reserve(payloadBytes(layout));
    switch (layout) {
    case 0:
        putBytes(out, e.unusedHead);
        putU32(out, e.tableIds[0]);
        putU32(out, e.tableIds[1]);
        putU32(out, e.lutChunk);
        putU32(out, e.unusedWord);
        for (const ChannelDescriptor& d : e.descriptors)
            putU32(out, packDescriptorA(d));
        putU32(out, packDescriptorNibbles(e.descriptors));
        putNamesAndSearch(out, e);
        break;
    case 1:
        out.insert(out.end(), e.unusedHead.begin(), e.unusedHead.begin() + 16);
        for (uint32_t id : e.tableIds)
            putU32(out, id);
        putU32(out, e.lutChunk);
        putU32(out, e.unusedWord);
        for (const ChannelDescriptor& d : e.descriptors)
            for (uint32_t w : packDescriptorB(d))
                putU32(out, w);
        putU32(out, packDescriptorNibbles(e.descriptors));
        putNamesAndSearch(out, e);
        putBytes(out, e.unusedTail);
        break;
    case 2:
        out.insert(out.end(), e.unusedHead.begin(), e.unusedHead.begin() + 8);
        for (uint32_t id : e.tableIds)
            putU16(out, static_cast<uint16_t>(id));
        putU16(out, static_cast<uint16_t>(e.lutChunk));
        putU32(out, e.unusedWord);
        for (const ChannelDescriptor& d : e.descriptors)
            for (uint32_t w : packDescriptorB(d))
                putU32(out, w);
        putU32(out, packDescriptorNibbles(e.descriptors));
        putNamesAndSearch(out, e);
        putBytes(out, e.unusedTail);
        break;
    default:
        throw std::invalid_argument("profile entry layout outside 0..2");
    }
    return out;
}

// Decodes one payload of `layout` at in[at...]; the caller has checked the length.
static ProfileEntry decodePayload(std::span<const uint8_t> in, size_t at, int layout) {
    ProfileEntry e;
    const std::span<const uint8_t> p = in.subspan(at, payloadBytes(layout));
    switch (layout) {
    case 0: {
        getBytes(p, 0, e.unusedHead);
        e.tableIds[0] = getU32(p, 48);
        e.tableIds[1] = getU32(p, 52);
        e.lutChunk = getU32(p, 56);
        e.unusedWord = getU32(p, 60);
        const uint32_t nibbles = getU32(p, 96);
        for (int i = 0; i < 8; ++i)
            e.descriptors[static_cast<size_t>(i)] = unpackDescriptorA(
                getU32(p, 64 + 4 * static_cast<size_t>(i)), descriptorNibble(nibbles, i));
        getNamesAndSearch(p, 100, e);
        break;
    }
    case 1:
    case 2: {
        const bool one = layout == 1;
        std::copy_n(p.begin(), one ? 16 : 8, e.unusedHead.begin());
        for (size_t i = 0; i < 3; ++i)
            e.tableIds[i] = one ? getU32(p, 16 + 4 * i) : getU16(p, 8 + 2 * i);
        e.lutChunk = one ? getU32(p, 28) : getU16(p, 14);
        e.unusedWord = getU32(p, one ? 32 : 16);
        const size_t descAt = one ? 36 : 20;
        const uint32_t nibbles = getU32(p, descAt + 64);
        for (size_t i = 0; i < 8; ++i)
            e.descriptors[i] =
                unpackDescriptorB(getU32(p, descAt + 8 * i), getU32(p, descAt + 8 * i + 4),
                                  descriptorNibble(nibbles, static_cast<int>(i)));
        getNamesAndSearch(p, descAt + 68, e);
        getBytes(p, descAt + 128, e.unusedTail);
        break;
    }
    default:
        break;
    }
    return e;
}

// --------------------------------------------------------- index record

uint32_t entryWordsOf(const ProfileIndex& index) {
    return 1 + payloadBytes(index.entryLayout) / 4 + index.extraWords;
}

Bytes encodeProfileIndex(const ProfileIndex& index) {
    if (payloadBytes(index.entryLayout) == 0)
        throw std::invalid_argument("profile entry layout outside 0..2");
    Bytes out;
    putU32(out, index.layoutWord);
    putU32(out, index.profileCountOverride.value_or(
                    checkedU32(index.entries.size(), "too many entries")));
    putU32(out, index.entryWordsOverride.value_or(entryWordsOf(index)));
    const size_t extraBytes = static_cast<size_t>(index.extraWords) * 4;
    for (const ProfileEntry& e : index.entries) {
        putU32(out, e.key);
        putBytes(out, encodeProfilePayload(e, index.entryLayout));
        if (e.extra.size() > extraBytes)
            throw std::invalid_argument("ProfileEntry::extra longer than extraWords");
        putBytes(out, e.extra);
        out.resize(out.size() + extraBytes - e.extra.size(), 0);
    }
    putBytes(out, index.trailing);
    return out;
}

std::optional<ProfileIndex> decodeProfileIndex(std::span<const uint8_t> data) {
    if (data.size() < 12)
        return std::nullopt;
    ProfileIndex index;
    index.layoutWord = getU32(data, 0);
    const int layout = decodeLayout(index.layoutWord);
    const uint32_t payload = payloadBytes(layout);
    if (payload == 0)
        return std::nullopt;
    index.entryLayout = layout;
    const uint32_t count = getU32(data, 4);
    const uint32_t words = getU32(data, 8);
    if (static_cast<uint64_t>(words) * 4 < 4 + payload)
        return std::nullopt;
    const uint64_t stride = static_cast<uint64_t>(words) * 4;
    if (12 + static_cast<uint64_t>(count) * stride > data.size())
        return std::nullopt;
    index.extraWords = words - 1 - payload / 4;
    size_t at = 12;
    for (uint32_t i = 0; i < count; ++i) {
        ProfileEntry e = decodePayload(data, at + 4, layout);
        e.key = getU32(data, at);
        const size_t extraAt = at + 4 + payload;
        e.extra.assign(data.begin() + static_cast<std::ptrdiff_t>(extraAt),
                       data.begin() + static_cast<std::ptrdiff_t>(at + stride));
        // Canonical form: trailing zero bytes of the padding are implied.
        while (!e.extra.empty() && e.extra.back() == 0)
            e.extra.pop_back();
        index.entries.push_back(std::move(e));
        at += static_cast<size_t>(stride);
    }
    index.trailing.assign(data.begin() + static_cast<std::ptrdiff_t>(at), data.end());
    const Bytes again = encodeProfileIndex(index);
    if (!std::equal(again.begin(), again.end(), data.begin(), data.end()))
        return std::nullopt;
    return index;
}

} // namespace vrel::dbwriter
