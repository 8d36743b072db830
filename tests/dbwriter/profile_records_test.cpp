// Profile index records: the payload of each layout at its
// hand-checked offsets, the descriptor packings, the layout word and the keys.
#include "byte_reading.h"

#include <gtest/gtest.h>
#include <vrel/dbwriter.h>

namespace {

using namespace vrel::dbwriter;
using namespace dbwriter_test;

// Descriptor 0 with every field set: packing A 0xaad5e3fd; packing B words
// 0x7eaad5e5 and 0x9942beef (computed by hand from the key bit table).
ChannelDescriptor fullDescriptor() {
    ChannelDescriptor d;
    d.a = 5;
    d.b = 0xbeef; // packing A keeps bits 0-4: 0x0f
    d.c = 0x42;   // packing A keeps bits 0-2: 2
    d.d = 0xabc;
    d.e = 0x155;
    d.f = 1;
    d.word1High = 0x7e;
    d.word2High = 0x99;
    return d;
}

ProfileEntry sampleEntry() {
    ProfileEntry e;
    e.key = 0x00116475;
    e.tableIds = {0x11111111, 0x22222222, 0x33333333};
    e.lutChunk = 0x44444444;
    e.unusedWord = 0x55555555;
    e.descriptors[0] = fullDescriptor();
    for (size_t i = 1; i < 8; ++i)
        e.descriptors[i].f = static_cast<uint8_t>(i + 1);
    e.name1 = makeName("name one");
    e.name2 = makeName("name two");
    e.searchKey = 0x01020304;
    e.searchPair = 0x00050007;
    e.profileValue = {9, 8, 7, 6};
    return e;
}

TEST(ProfilePayload, Layout0FieldsSitAtTheirOffsets) {
    ProfileEntry e = sampleEntry();
    e.descriptors[0].b = 0x1f;
    e.descriptors[0].c = 3;
    const Bytes p = encodeProfilePayload(e, 0);
    ASSERT_EQ(p.size(), 160u);
    EXPECT_TRUE(allZero(p, 0, 48));
    EXPECT_EQ(u32at(p, 48), 0x11111111u);
    EXPECT_EQ(u32at(p, 52), 0x22222222u);
    EXPECT_EQ(u32at(p, 56), 0x44444444u);
    EXPECT_EQ(u32at(p, 60), 0x55555555u);
    EXPECT_EQ(u32at(p, 64), 0xaad5e3fdu);
    EXPECT_TRUE(allZero(p, 68, 28));
    EXPECT_EQ(u32at(p, 96), 0x12345678u);
    EXPECT_EQ(textAt(p, 100, 24), "name one");
    EXPECT_TRUE(allZero(p, 108, 16));
    EXPECT_EQ(textAt(p, 124, 24), "name two");
    EXPECT_EQ(u32at(p, 148), 0x01020304u);
    EXPECT_EQ(u32at(p, 152), 0x00050007u);
    EXPECT_EQ(slice(p, 156, 4), (Bytes{9, 8, 7, 6}));
    for (size_t i = 0; i + 4 <= p.size(); i += 4)
        EXPECT_NE(u32at(p, i), 0x33333333u) << "no third table id slot";
}

TEST(ProfilePayload, Layout0MasksDescriptorFieldsToPackingA) {
    const Bytes p = encodeProfilePayload(sampleEntry(), 0);
    // b 0xbeef keeps 0x0f, c 0x42 keeps 2.
    EXPECT_EQ(u32at(p, 64), 5u | (0x0fu << 3) | (2u << 8) | (0xabcu << 11) | (0x155u << 23));
}

TEST(ProfilePayload, Layout1FieldsSitAtTheirOffsets) {
    const Bytes p = encodeProfilePayload(sampleEntry(), 1);
    ASSERT_EQ(p.size(), 292u);
    EXPECT_TRUE(allZero(p, 0, 16));
    EXPECT_EQ(u32at(p, 16), 0x11111111u);
    EXPECT_EQ(u32at(p, 20), 0x22222222u);
    EXPECT_EQ(u32at(p, 24), 0x33333333u);
    EXPECT_EQ(u32at(p, 28), 0x44444444u);
    EXPECT_EQ(u32at(p, 32), 0x55555555u);
    EXPECT_EQ(u32at(p, 36), 0x7eaad5e5u);
    EXPECT_EQ(u32at(p, 40), 0x9942beefu);
    EXPECT_TRUE(allZero(p, 44, 56));
    EXPECT_EQ(u32at(p, 100), 0x12345678u);
    EXPECT_EQ(textAt(p, 104, 24), "name one");
    EXPECT_EQ(textAt(p, 128, 24), "name two");
    EXPECT_EQ(u32at(p, 152), 0x01020304u);
    EXPECT_EQ(u32at(p, 156), 0x00050007u);
    EXPECT_EQ(slice(p, 160, 4), (Bytes{9, 8, 7, 6}));
    EXPECT_TRUE(allZero(p, 164, 128));
}

TEST(ProfilePayload, Layout2FieldsSitAtTheirOffsetsWith16BitIds) {
    ProfileEntry e = sampleEntry();
    e.tableIds = {0x1111, 0xffff, 0x12343333};
    e.lutChunk = 0x4444;
    const Bytes p = encodeProfilePayload(e, 2);
    ASSERT_EQ(p.size(), 276u);
    EXPECT_TRUE(allZero(p, 0, 8));
    EXPECT_EQ(u16at(p, 8), 0x1111u);
    EXPECT_EQ(u16at(p, 10), 0xffffu);
    EXPECT_EQ(u16at(p, 12), 0x3333u);
    EXPECT_EQ(u16at(p, 14), 0x4444u);
    EXPECT_EQ(u32at(p, 16), 0x55555555u);
    EXPECT_EQ(u32at(p, 20), 0x7eaad5e5u);
    EXPECT_EQ(u32at(p, 24), 0x9942beefu);
    EXPECT_TRUE(allZero(p, 28, 56));
    EXPECT_EQ(u32at(p, 84), 0x12345678u);
    EXPECT_EQ(textAt(p, 88, 24), "name one");
    EXPECT_EQ(textAt(p, 112, 24), "name two");
    EXPECT_EQ(u32at(p, 136), 0x01020304u);
    EXPECT_EQ(u32at(p, 140), 0x00050007u);
    EXPECT_EQ(slice(p, 144, 4), (Bytes{9, 8, 7, 6}));
    EXPECT_TRUE(allZero(p, 148, 128));
}

TEST(ProfilePayload, UnusedBytesAreWrittenWhereEachLayoutHasThem) {
    ProfileEntry e;
    for (size_t i = 0; i < e.unusedHead.size(); ++i)
        e.unusedHead[i] = static_cast<uint8_t>(i + 1);
    e.unusedTail.fill(0xee);
    const Bytes p0 = encodeProfilePayload(e, 0), p1 = encodeProfilePayload(e, 1),
                p2 = encodeProfilePayload(e, 2);
    EXPECT_EQ(u8at(p0, 47), 48u);
    EXPECT_EQ(u8at(p1, 15), 16u);
    EXPECT_EQ(u32at(p1, 16), 0u);
    EXPECT_EQ(u8at(p2, 7), 8u);
    EXPECT_EQ(u16at(p2, 8), 0u);
    EXPECT_EQ(u8at(p1, 291), 0xeeu);
    EXPECT_EQ(u8at(p2, 148), 0xeeu);
}

TEST(ProfileIndexRecord, HeaderAndEntriesFollowTheEntryStride) {
    for (int layout = 0; layout < 3; ++layout) {
        SCOPED_TRACE(layout);
        ProfileIndex index;
        index.layoutWord = makeLayoutWord(static_cast<uint16_t>(layout), kFlagExtension);
        index.entryLayout = layout;
        ProfileEntry first = sampleEntry(), second = sampleEntry();
        second.key = 0xabcdef;
        index.entries = {first, second};
        const Bytes b = encodeProfileIndex(index);
        const uint32_t words = 1 + payloadBytes(layout) / 4;
        EXPECT_EQ(words, layout == 0 ? 41u : layout == 1 ? 74u : 70u);
        ASSERT_EQ(b.size(), 12 + 2 * 4 * words);
        EXPECT_EQ(u32at(b, 0), layout == 0 ? 0u : 0x00020000u + static_cast<uint32_t>(layout));
        EXPECT_EQ(u32at(b, 4), 2u);
        EXPECT_EQ(u32at(b, 8), words);
        EXPECT_EQ(u32at(b, 12), 0x116475u);
        EXPECT_EQ(slice(b, 16, payloadBytes(layout)), encodeProfilePayload(first, layout));
        EXPECT_EQ(u32at(b, 12 + 4 * words), 0xabcdefu);
    }
}

TEST(ProfileIndexRecord, ExtraWordsPadEveryEntry) {
    ProfileIndex index;
    index.extraWords = 2;
    ProfileEntry e;
    e.extra = {1, 2, 3};
    index.entries = {e, ProfileEntry{}};
    const Bytes b = encodeProfileIndex(index);
    EXPECT_EQ(u32at(b, 8), 43u);
    ASSERT_EQ(b.size(), 12u + 2 * 172);
    EXPECT_EQ(slice(b, 12 + 164, 8), (Bytes{1, 2, 3, 0, 0, 0, 0, 0}));

    e.extra.assign(9, 1);
    index.entries = {e};
    EXPECT_THROW(encodeProfileIndex(index), std::invalid_argument);
}

TEST(ProfileIndexRecord, OverridesReplaceCountAndStrideWordsOnly) {
    ProfileIndex index;
    index.entries = {ProfileEntry{}};
    index.profileCountOverride = 9;
    index.entryWordsOverride = 3;
    index.trailing = {0xde, 0xad};
    const Bytes b = encodeProfileIndex(index);
    EXPECT_EQ(u32at(b, 4), 9u);
    EXPECT_EQ(u32at(b, 8), 3u);
    ASSERT_EQ(b.size(), 12u + 164 + 2);
    EXPECT_EQ(slice(b, 176, 2), (Bytes{0xde, 0xad}));
}

TEST(ProfileIndexRecord, DecodesBackToTheSameDescription) {
    for (int layout = 0; layout < 3; ++layout) {
        SCOPED_TRACE(layout);
        ProfileIndex index;
        index.layoutWord =
            makeLayoutWord(static_cast<uint16_t>(layout), kFlagNoBlackBalance | greyModeFlags(2));
        index.entryLayout = layout;
        ProfileEntry e = sampleEntry();
        if (layout == 0) {
            e.tableIds[2] = 0; // no slot in layout 0
            for (ChannelDescriptor& d : e.descriptors)
                d = unpackDescriptorA(packDescriptorA(d), d.f);
        }
        if (layout == 2) {
            e.tableIds = {0x1111, 0x2222, 0xffff};
            e.lutChunk = 0x4444;
        }
        if (layout != 0)
            e.unusedTail[5] = 1;
        e.unusedHead[layout == 0 ? 40 : 3] = 7;
        index.entries = {e, e};
        index.trailing = {1, 2, 3};
        const auto decoded = decodeProfileIndex(encodeProfileIndex(index));
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(*decoded, index);
    }
}

TEST(ProfileIndexRecord, DecoderRefusesWhatItCannotRepresent) {
    ProfileIndex index;
    index.entries = {ProfileEntry{}};
    Bytes b = encodeProfileIndex(index);
    EXPECT_FALSE(decodeProfileIndex(Bytes(b.begin(), b.begin() + 11)).has_value());
    index.profileCountOverride = 2; // more entries than the record holds
    EXPECT_FALSE(decodeProfileIndex(encodeProfileIndex(index)).has_value());
    index.profileCountOverride.reset();
    index.entryWordsOverride = 40; // shorter than the payload
    EXPECT_FALSE(decodeProfileIndex(encodeProfileIndex(index)).has_value());
    index.entryWordsOverride.reset();
    index.layoutWord = 3; // layout 3 has no payload form
    EXPECT_FALSE(decodeProfileIndex(encodeProfileIndex(index)).has_value());
}

TEST(LayoutWord, CarriesLayoutInTheLowHalfAndFlagsInTheHighHalf) {
    EXPECT_EQ(makeLayoutWord(0, 0x100), 0x100u);
    EXPECT_EQ(makeLayoutWord(0, 0x30100), 0x100u); // layout 0 cannot carry bits 16-31
    EXPECT_EQ(makeLayoutWord(2, kFlagExtension | greyModeFlags(1)), 0x00060002u);
    EXPECT_EQ(makeLayoutWord(1, kFlagNoBlackBalance | 0xff), 0x00010001u);
    EXPECT_EQ(greyModeFlags(3), 0x000c0000u);

    EXPECT_EQ(decodeLayout(0x00000100), 0);
    EXPECT_EQ(decodeRecordFlags(0x00000100), 0x100u);
    EXPECT_EQ(decodeLayout(0x00060002), 2);
    EXPECT_EQ(decodeRecordFlags(0x00060002), 0x00060000u);
    EXPECT_EQ(decodeLayout(0x00070000), 0);
    EXPECT_EQ(decodeRecordFlags(0x00070000), 0u);
    EXPECT_EQ(decodeLayout(0x00000003), 3);
    EXPECT_EQ(decodeLayout(0x0000ff01), -255);
}

TEST(ProfileKeys, KeyAPlacesTheFieldsInBits0To23) {
    ParamRecord p{};
    p.keyField94 = 0x15;
    p.keyField14 = 0x123;
    p.keyField16 = 1;
    p.keyField104 = 0x11;
    p.keyField106 = 3;
    p.keyField108 = 3;
    EXPECT_EQ(keyA(p), 0x00116475u);
    EXPECT_EQ(keyB(p), 0x01f16475u);
    p.keyField106 = 2;
    p.keyField108 = 1;
    EXPECT_EQ(keyB(p), 0x00d16475u);
    EXPECT_EQ(profileKey(p, 0), keyA(p));
    EXPECT_EQ(profileKey(p, 1), keyA(p));
    EXPECT_EQ(profileKey(p, 2), keyB(p));
}

TEST(ProfileKeys, OnlyTheLowBitsOfEachFieldCount) {
    ParamRecord p{};
    p.keyField94 = 0x25;
    p.keyField14 = 0xfbff;
    p.keyField16 = 7;
    p.keyField104 = 0x1ff;
    p.keyField106 = 7;
    p.keyField108 = 6;
    EXPECT_EQ(keyA(p), 0x00ffffe5u);
    EXPECT_EQ(keyB(p), 0x017fffe5u);
    // One field at a time.
    ParamRecord q{};
    q.keyField94 = 0xffff;
    EXPECT_EQ(keyA(q), 0x1fu);
    q = {};
    q.keyField14 = 0xffff;
    EXPECT_EQ(keyA(q), 0x3fe0u);
    q = {};
    q.keyField16 = 0xffff;
    EXPECT_EQ(keyA(q), 0xc000u);
    q = {};
    q.keyField104 = 0xffff;
    EXPECT_EQ(keyA(q), 0xff0000u);
    EXPECT_EQ(keyB(q), 0x1f0000u);
    q = {};
    q.keyField106 = 0xffff;
    EXPECT_EQ(keyA(q), 0u);
    EXPECT_EQ(keyB(q), 0x600000u);
    q = {};
    q.keyField108 = 0xffff;
    EXPECT_EQ(keyB(q), 0x1800000u);
}

TEST(ChannelDescriptors, PackingsUnpackToTheMaskedFields) {
    const ChannelDescriptor d = fullDescriptor();
    ChannelDescriptor a = unpackDescriptorA(packDescriptorA(d), d.f);
    EXPECT_EQ(a.a, 5);
    EXPECT_EQ(a.b, 0x0f);
    EXPECT_EQ(a.c, 2);
    EXPECT_EQ(a.d, 0xabc);
    EXPECT_EQ(a.e, 0x155);
    EXPECT_EQ(a.f, 1);
    EXPECT_EQ(a.word1High, 0);
    EXPECT_EQ(unpackDescriptorB(packDescriptorB(d)[0], packDescriptorB(d)[1], d.f), d);
    EXPECT_EQ(packDescriptorB(d), (std::array<uint32_t, 2>{0x7eaad5e5u, 0x9942beefu}));
}

TEST(ChannelDescriptors, NibblesRunFromDescriptor0InBits28To31) {
    Descriptors d{};
    for (size_t i = 0; i < 8; ++i)
        d[i].f = static_cast<uint8_t>(0xa + i); // 0x1a..0x11 masked
    EXPECT_EQ(packDescriptorNibbles(d), 0xabcdef01u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(descriptorNibble(0xabcdef01u, i), (0xa + i) & 0xf);
}

TEST(ChannelDescriptors, CountIsTheLeadingNonZeroDescriptorsWithMarker256MakingFourThree) {
    for (int n = 0; n <= 8; ++n) {
        const Descriptors d = descriptorsForChannels(n);
        EXPECT_EQ(channelCountOf(d), n);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(d[static_cast<size_t>(i)].c != 0, i < n);
    }
    const Descriptors three = descriptorsForChannels(3, true);
    EXPECT_EQ(three[0].e, 256);
    EXPECT_NE(three[3].c, 0);
    EXPECT_EQ(three[4].c, 0);
    EXPECT_EQ(channelCountOf(three), 3);

    Descriptors d = descriptorsForChannels(4);
    d[0].e = 255;
    EXPECT_EQ(channelCountOf(d), 4);
    d = descriptorsForChannels(5);
    d[0].e = 256;
    EXPECT_EQ(channelCountOf(d), 5);
    EXPECT_THROW(descriptorsForChannels(9), std::invalid_argument);
}

TEST(ChannelDescriptors, NineBitMarkerSurvivesBothPackings) {
    // e = 256 survives both packings (9 bits).
    ChannelDescriptor d;
    d.e = 256;
    EXPECT_EQ(unpackDescriptorA(packDescriptorA(d), 0).e, 256);
    EXPECT_EQ(packDescriptorA(d), 0x80000000u);
    EXPECT_EQ(packDescriptorB(d)[0], 256u << 15);
}

TEST(Names, MakeNamePadsWithZeroAndCutsAt24) {
    const Name24 short_ = makeName("abc");
    EXPECT_EQ(short_[0], 'a');
    EXPECT_EQ(short_[3], 0);
    const Name24 long_ = makeName("0123456789abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(long_[23], 'n');
}

TEST(ProfileEntry, ProfileValueIsStoredLittleEndian) {
    ProfileEntry e;
    e.setProfileValue(0x0badcafe);
    EXPECT_EQ(e.profileValue, (std::array<uint8_t, 4>{0xfe, 0xca, 0xad, 0x0b}));
    EXPECT_EQ(e.profileValueWord(), 0x0badcafeu);
}

} // namespace
