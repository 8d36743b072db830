#include "foundation_helpers.h"
#include "resources/database.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

// Reference: copies each key bit from its source bit, one bit at a time.
struct BitSource {
    int keyBit;
    uint16_t ParamRecord::*field;
    int fieldBit;
};

uint32_t referenceKey(const ParamRecord& p, bool layout2) {
    std::vector<BitSource> bits;
    for (int i = 0; i < 5; ++i) {
        bits.push_back({i, &ParamRecord::keyField94, i});
    }
    for (int i = 0; i < 9; ++i) {
        bits.push_back({5 + i, &ParamRecord::keyField14, i});
    }
    for (int i = 0; i < 2; ++i) {
        bits.push_back({14 + i, &ParamRecord::keyField16, i});
    }
    if (!layout2) {
        for (int i = 0; i < 8; ++i) {
            bits.push_back({16 + i, &ParamRecord::keyField104, i});
        }
    } else {
        for (int i = 0; i < 5; ++i) {
            bits.push_back({16 + i, &ParamRecord::keyField104, i});
        }
        for (int i = 0; i < 2; ++i) {
            bits.push_back({21 + i, &ParamRecord::keyField106, i});
            bits.push_back({23 + i, &ParamRecord::keyField108, i});
        }
    }
    uint32_t key = 0;
    for (const BitSource& b : bits) {
        const uint16_t value = p.*(b.field);
        if ((value >> b.fieldBit) & 1u) {
            key |= 1u << b.keyBit;
        }
    }
    return key;
}

TEST(ProfileKeys, KeysMatchBitByBitReferenceOverRandomRecords) {
    std::mt19937 rng(2024);
    for (int i = 0; i < 20000; ++i) {
        ParamRecord p = foundation::makeParams("db", nullptr);
        p.keyField94 = static_cast<uint16_t>(rng());
        p.keyField14 = static_cast<uint16_t>(rng());
        p.keyField16 = static_cast<uint16_t>(rng());
        p.keyField104 = static_cast<uint16_t>(rng());
        p.keyField106 = static_cast<uint16_t>(rng());
        p.keyField108 = static_cast<uint16_t>(rng());
        ASSERT_EQ(vrel::profileKeyA(&p), referenceKey(p, false)) << i;
        ASSERT_EQ(vrel::profileKeyB(&p), referenceKey(p, true)) << i;
        ASSERT_EQ(vrel::profileKeyA(&p) >> 24, 0u);
        ASSERT_EQ(vrel::profileKeyB(&p) >> 25, 0u);
    }
}

TEST(ProfileKeys, OverWideFieldsKeepOnlyTheirLowBits) {
    ParamRecord p = foundation::makeParams("db", nullptr);
    p.keyField94 = 0x25; // keys as 5
    EXPECT_EQ(vrel::profileKeyA(&p), 5u);
    EXPECT_EQ(vrel::profileKeyB(&p), 5u);
    p.keyField94 = 0;
    p.keyField14 = 0xfe01; // bits 0-8: 0x001
    p.keyField16 = 0xfffd; // bits 0-1: 1
    p.keyField104 = 0x1ff; // A: 0xff; B: 0x1f
    p.keyField106 = 0x6;   // B: 2
    p.keyField108 = 0x7;   // B: 3
    EXPECT_EQ(vrel::profileKeyA(&p), (1u << 5) | (1u << 14) | (0xffu << 16));
    EXPECT_EQ(vrel::profileKeyB(&p),
              (1u << 5) | (1u << 14) | (0x1fu << 16) | (2u << 21) | (3u << 23));
}

TEST(ProfileKeys, DatabaseNameIsBoundedToTwentyBytes) {
    char out[32];
    std::memset(out, 'z', sizeof out);
    ParamRecord full = foundation::makeParams("ABCDEFGHIJKLMNOPQRST", nullptr);
    // The field holds exactly 20 bytes and no NUL; the byte after it (the
    // adjustment switch) must not be taken as part of the name.
    full.adjustSwitch = 0x4141;
    vrel::copyDatabaseName(&full, out);
    EXPECT_EQ(std::string(out), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(out[21], 'z');

    std::memset(out, 'z', sizeof out);
    ParamRecord shortName = foundation::makeParams("db.qz", nullptr);
    shortName.databaseName[7] = 'X'; // garbage after the NUL is not copied
    vrel::copyDatabaseName(&shortName, out);
    EXPECT_EQ(std::string(out), "db.qz");
    EXPECT_EQ(out[6], 'z');
}

} // namespace
