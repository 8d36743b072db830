#include "core/engine_context.h"
#include "vrel/vrel.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

namespace {

std::unique_ptr<EngineContext> contextWithProfile(uint16_t flagExtension) {
    auto context = std::make_unique<EngineContext>();
    std::memset(context.get(), 0, sizeof(EngineContext));
    context->profileClass = vrel::kDefaultProfileClass;
    vrel::SettingsRecord& s = context->settings;
    s.searchKey = 0x11223344;
    s.searchPair = 0x00050007;
    std::memset(s.name1, '1', sizeof s.name1);
    std::memset(s.name2, '2', sizeof s.name2);
    const uint8_t value[4] = {0x78, 0x56, 0x34, 0x12}; // stored little-endian
    std::memcpy(s.profileValue, value, 4);
    s.flagExtension = flagExtension;
    vrel::ExtensionChunk& ext = s.extChunk;
    ext.extSize = 84;
    std::memset(ext.extName9, '9', sizeof ext.extName9);
    std::memset(ext.extName1, 'a', sizeof ext.extName1);
    std::memset(ext.extName10, 'A', sizeof ext.extName10);
    ext.extSearchKey = 0xdeadbeef;
    ext.extSearchPair = 0xfffe0001;
    ext.extProfileValue = 0xcafef00d;
    return context;
}

using Buffer8 = std::array<uint8_t, 8>;
using Buffer24 = std::array<uint8_t, 24>;

uint16_t halfAt(const Buffer8& b, int at) {
    uint16_t v;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}

TEST(Queries, SearchKeyIsMostSignificantByteFirstAndPairHalvesInHostOrder) {
    auto context = contextWithProfile(0);
    Buffer8 data{};
    EXPECT_EQ(VrelGetSearchDataC(context.get(), data.data(), 0), 0x12345678u);
    EXPECT_EQ(data[0], 0x11);
    EXPECT_EQ(data[1], 0x22);
    EXPECT_EQ(data[2], 0x33);
    EXPECT_EQ(data[3], 0x44);
    EXPECT_EQ(halfAt(data, 4), 5);
    EXPECT_EQ(halfAt(data, 6), 7);
}

TEST(Queries, PlainFormEqualsRecordFormWithoutExtension) {
    auto context = contextWithProfile(0);
    Buffer8 plain{}, record{};
    plain.fill(0xaa);
    record.fill(0xaa);
    EXPECT_EQ(VrelGetSearchData(context.get(), plain.data(), 123),
              VrelGetSearchDataC(context.get(), record.data(), 456));
    EXPECT_EQ(plain, record);
    for (uint32_t profileClass : {1u, 2u, 9u, 10u, 11u, 12u, 5u}) {
        context->profileClass = profileClass;
        Buffer24 n1{}, n2{};
        n1.fill(0xaa);
        n2.fill(0xaa);
        EXPECT_EQ(VrelGetProfileName(context.get(), n1.data(), 0),
                  VrelGetProfileNameC(context.get(), n2.data(), 0));
        EXPECT_EQ(n1, n2) << profileClass;
    }
}

TEST(Queries, ExtensionAnswersThePlainFormAndNeverTheRecordForm) {
    auto context = contextWithProfile(1);
    Buffer8 plain{}, record{};
    EXPECT_EQ(VrelGetSearchData(context.get(), plain.data(), 0), 0xcafef00du);
    EXPECT_EQ(plain[0], 0xde);
    EXPECT_EQ(plain[3], 0xef);
    EXPECT_EQ(halfAt(plain, 4), 0xfffe);
    EXPECT_EQ(halfAt(plain, 6), 0x0001);
    EXPECT_EQ(VrelGetSearchDataC(context.get(), record.data(), 0), 0x12345678u);
    EXPECT_EQ(record[0], 0x11);
    EXPECT_EQ(halfAt(record, 6), 7);

    // Name slot by profile class: plain (extension) and record form.
    struct Case {
        uint32_t profileClass;
        uint8_t plain;
        uint8_t record;
    };
    for (const Case& c : {Case{1, 'a', '2'}, Case{2, 'a', '2'}, Case{9, '9', '1'},
                          Case{12, '9', '1'}, Case{10, 'A', '2'}, Case{11, 'A', '2'}}) {
        context->profileClass = c.profileClass;
        Buffer24 n{}, r{};
        EXPECT_EQ(VrelGetProfileName(context.get(), n.data(), 0), 0xcafef00du);
        EXPECT_EQ(VrelGetProfileNameC(context.get(), r.data(), 0), 0x12345678u);
        Buffer24 expectPlain, expectRecord;
        expectPlain.fill(c.plain);
        expectRecord.fill(c.record);
        EXPECT_EQ(n, expectPlain) << c.profileClass;
        EXPECT_EQ(r, expectRecord) << c.profileClass;
    }
    // Any other class writes no name but still reports the value.
    context->profileClass = 7;
    Buffer24 untouched;
    untouched.fill(0x33);
    Buffer24 n = untouched;
    EXPECT_EQ(VrelGetProfileName(context.get(), n.data(), 0), 0xcafef00du);
    EXPECT_EQ(VrelGetProfileNameC(context.get(), n.data(), 0), 0x12345678u);
    EXPECT_EQ(n, untouched);
}

TEST(Queries, NullHandleGivesZeroAndWritesNothing) {
    Buffer8 data;
    data.fill(0x77);
    Buffer24 name;
    name.fill(0x77);
    EXPECT_EQ(VrelGetSearchData(nullptr, data.data(), 0), 0u);
    EXPECT_EQ(VrelGetSearchDataC(nullptr, data.data(), 0), 0u);
    EXPECT_EQ(VrelGetProfileName(nullptr, name.data(), 0), 0u);
    EXPECT_EQ(VrelGetProfileNameC(nullptr, name.data(), 0), 0u);
    for (uint8_t b : data) {
        EXPECT_EQ(b, 0x77);
    }
    for (uint8_t b : name) {
        EXPECT_EQ(b, 0x77);
    }
}

} // namespace
