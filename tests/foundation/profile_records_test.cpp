#include "foundation_helpers.h"
#include "core/engine_context.h"
#include "resources/profile_records.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

using foundation::putLe16;
using foundation::putLe32;
using vrel::ProfileRecord;

// The values a payload carries, before packing.
struct Fields {
    uint32_t tableIds[3] = {};
    uint32_t lutChunk = 0;
    uint32_t c[8] = {}; // field c of each descriptor
    uint32_t e[8] = {}; // field e of each descriptor
    std::array<uint8_t, 24> name1{};
    std::array<uint8_t, 24> name2{};
    uint32_t searchKey = 0;
    uint32_t searchPair = 0;
    std::array<uint8_t, 4> value{};
};

// Channel count straight from its definition.
uint16_t expectedChannels(const Fields& f) {
    int present = 0;
    for (uint32_t c : f.c) {
        present += c != 0 ? 1 : 0;
    }
    return static_cast<uint16_t>(present == 4 && f.e[0] == 256 ? 3 : present);
}

Fields randomFields(std::mt19937& rng, int layout) {
    Fields f;
    for (uint32_t& id : f.tableIds) {
        id = layout == 2 ? static_cast<uint16_t>(rng()) : static_cast<uint32_t>(rng());
    }
    f.lutChunk = layout == 2 ? static_cast<uint16_t>(rng()) : static_cast<uint32_t>(rng());
    const uint32_t cMask = layout == 0 ? 0x7 : 0xff;
    const int wanted = static_cast<int>(rng() % 9);
    for (int i = 0; i < 8; ++i) {
        // Some present with random nonzero c, others absent.
        f.c[i] = i < wanted ? 1 + rng() % cMask : 0;
        f.e[i] = rng() & 0x1ff;
    }
    if (rng() % 3 == 0) {
        f.e[0] = 256;
    }
    for (uint8_t& b : f.name1) {
        b = static_cast<uint8_t>(rng());
    }
    for (uint8_t& b : f.name2) {
        b = static_cast<uint8_t>(rng());
    }
    f.searchKey = static_cast<uint32_t>(rng());
    f.searchPair = static_cast<uint32_t>(rng());
    for (uint8_t& b : f.value) {
        b = static_cast<uint8_t>(rng());
    }
    return f;
}

// Packs the fields into a payload; every unused bit and field is noise.
std::vector<uint8_t> encode(const Fields& f, int layout, std::mt19937& rng) {
    const std::size_t size = layout == 0 ? 160 : layout == 1 ? 292 : 276;
    std::vector<uint8_t> p(size);
    for (uint8_t& b : p) {
        b = static_cast<uint8_t>(rng());
    }
    std::size_t names = 0;
    uint32_t nibbles = static_cast<uint32_t>(rng());
    if (layout == 0) {
        putLe32(p, 48, f.tableIds[0]);
        putLe32(p, 52, f.tableIds[1]);
        putLe32(p, 56, f.lutChunk);
        for (int i = 0; i < 8; ++i) {
            const uint32_t a = rng() & 0x7, b = rng() & 0x1f, d = rng() & 0xfff;
            putLe32(p, 64 + 4 * i, a | (b << 3) | (f.c[i] << 8) | (d << 11) | (f.e[i] << 23));
        }
        putLe32(p, 96, nibbles);
        names = 100;
    } else {
        std::size_t descriptors = 0;
        if (layout == 1) {
            for (int i = 0; i < 3; ++i) {
                putLe32(p, 16 + 4 * i, f.tableIds[i]);
            }
            putLe32(p, 28, f.lutChunk);
            descriptors = 36;
            names = 104;
        } else {
            for (int i = 0; i < 3; ++i) {
                putLe16(p, 8 + 2 * i, static_cast<uint16_t>(f.tableIds[i]));
            }
            putLe16(p, 14, static_cast<uint16_t>(f.lutChunk));
            descriptors = 20;
            names = 88;
        }
        for (int i = 0; i < 8; ++i) {
            const uint32_t a = rng() & 0x7, b = rng() & 0xffff, d = rng() & 0xfff;
            const uint32_t high1 = rng() & 0xff, high2 = rng() & 0xff;
            putLe32(p, descriptors + 8 * i, a | (d << 3) | (f.e[i] << 15) | (high1 << 24));
            putLe32(p, descriptors + 8 * i + 4, b | (f.c[i] << 16) | (high2 << 24));
        }
        putLe32(p, descriptors + 64, nibbles);
    }
    std::memcpy(&p[names], f.name1.data(), 24);
    std::memcpy(&p[names + 24], f.name2.data(), 24);
    putLe32(p, names + 48, f.searchKey);
    putLe32(p, names + 52, f.searchPair);
    std::memcpy(&p[names + 56], f.value.data(), 4);
    return p;
}

uint32_t signExtended(uint32_t v) {
    return (v & 0x8000u) != 0 ? (v | 0xffff0000u) : v;
}

void decode(int layout, const std::vector<uint8_t>& payload, ProfileRecord* out,
            const ParamRecord& params, uint32_t flags) {
    if (layout == 0) {
        vrel::decodeLayout0(payload.data(), out, &params, flags);
    } else if (layout == 1) {
        vrel::decodeLayout1(payload.data(), out, &params, flags);
    } else {
        vrel::decodeLayout2(payload.data(), out, &params, flags);
    }
}

TEST(ProfileRecords, DecodesEveryLayoutFromRandomPayloads) {
    std::mt19937 rng(99);
    const ParamRecord params = foundation::makeParams("profiles.qz", nullptr);
    for (int layout = 0; layout <= 2; ++layout) {
        for (int i = 0; i < 3000; ++i) {
            const Fields f = randomFields(rng, layout);
            const std::vector<uint8_t> payload = encode(f, layout, rng);
            const uint32_t flags = static_cast<uint32_t>(rng());
            ProfileRecord out;
            std::memset(&out, 0xcd, sizeof out); // must be cleared by the decoder
            decode(layout, payload, &out, params, flags);
            SCOPED_TRACE("layout " + std::to_string(layout) + " case " + std::to_string(i));
            ASSERT_EQ(out.layout, layout);
            ASSERT_EQ(out.recordFlags, flags);
            ASSERT_EQ(out.channelCount, expectedChannels(f));
            if (layout == 2) {
                for (int k = 0; k < 3; ++k) {
                    ASSERT_EQ(out.tableIds[k], signExtended(f.tableIds[k]));
                }
                ASSERT_EQ(out.lutChunkWord, signExtended(f.lutChunk));
            } else {
                ASSERT_EQ(out.tableIds[0], f.tableIds[0]);
                ASSERT_EQ(out.tableIds[1], f.tableIds[1]);
                ASSERT_EQ(out.tableIds[2], layout == 0 ? f.tableIds[0] : f.tableIds[2]);
                ASSERT_EQ(out.lutChunkWord, f.lutChunk);
            }
            ASSERT_EQ(std::memcmp(out.name1, f.name1.data(), 24), 0);
            ASSERT_EQ(std::memcmp(out.name2, f.name2.data(), 24), 0);
            ASSERT_EQ(out.searchKey, f.searchKey);
            ASSERT_EQ(out.searchPair, f.searchPair);
            ASSERT_EQ(std::memcmp(out.profileValue, f.value.data(), 4), 0);
            ASSERT_EQ(std::string(out.fileName), "profiles.qz");
            for (std::size_t k = std::strlen(out.fileName); k < sizeof out.fileName; ++k) {
                ASSERT_EQ(out.fileName[k], '\0');
            }
        }
    }
}

TEST(ProfileRecords, FourChannelsWithMarker256CountAsThree) {
    std::mt19937 rng(5);
    const ParamRecord params = foundation::makeParams("db", nullptr);
    for (int layout = 0; layout <= 2; ++layout) {
        for (uint32_t e0 : {256u, 255u, 257u, 0u}) {
            for (int present : {3, 4, 5}) {
                Fields f = randomFields(rng, layout);
                for (int i = 0; i < 8; ++i) {
                    f.c[i] = i < present ? 1 : 0;
                }
                f.e[0] = e0;
                ProfileRecord out;
                decode(layout, encode(f, layout, rng), &out, params, 0);
                const int expected = present == 4 && e0 == 256 ? 3 : present;
                EXPECT_EQ(out.channelCount, expected)
                    << "layout " << layout << " e " << e0 << " present " << present;
            }
        }
    }
}

TEST(ProfileRecords, Layout2IdentifierFFFFBecomesAllOnes) {
    std::mt19937 rng(11);
    Fields f = randomFields(rng, 2);
    f.tableIds[0] = 0xffff;
    f.tableIds[1] = 0x7fff;
    f.tableIds[2] = 0x8000;
    f.lutChunk = 0xffff;
    ProfileRecord out;
    const ParamRecord params = foundation::makeParams("db", nullptr);
    decode(2, encode(f, 2, rng), &out, params, 0);
    EXPECT_EQ(out.tableIds[0], 0xffffffffu);
    EXPECT_EQ(out.tableIds[1], 0x00007fffu);
    EXPECT_EQ(out.tableIds[2], 0xffff8000u);
    EXPECT_EQ(out.lutChunkWord, 0xffffffffu);
    EXPECT_EQ(static_cast<uint16_t>(out.lutChunkWord), 0xffffu);
}

ProfileRecord sampleRecord(int16_t layout) {
    ProfileRecord r;
    std::memset(&r, 0, sizeof r);
    r.layout = layout;
    r.channelCount = 0x0104; // only the low byte reaches the settings
    r.tableIds[0] = 11;
    r.tableIds[1] = 22;
    r.tableIds[2] = 33;
    r.lutChunkWord = 0x12345;
    r.searchKey = 0xa1b2c3d4;
    r.searchPair = 0x00050007;
    std::memset(r.name1, 'N', sizeof r.name1);
    std::memset(r.name2, 'M', sizeof r.name2);
    const uint8_t value[4] = {1, 2, 3, 4};
    std::memcpy(r.profileValue, value, 4);
    r.recordFlags = 0x00060000;
    std::strcpy(r.fileName, "tables.qz");
    return r;
}

TEST(ProfileRecords, SettingsTakeTheDecodedValuesByLayout) {
    for (int16_t layout = 0; layout <= 2; ++layout) {
        vrel::SettingsRecord s;
        std::memset(&s, 0xee, sizeof s);
        const ProfileRecord r = sampleRecord(layout);
        vrel::fillSettingsFromProfile(&s, &r, layout);
        EXPECT_EQ(s.layout, layout);
        EXPECT_EQ(s.channelCount, 4);
        EXPECT_EQ(std::string(s.fileNameBlock), "tables.qz");
        EXPECT_EQ(s.fileNameBlock[279], '\0');
        EXPECT_EQ(s.tableIds[0], 11u);
        EXPECT_EQ(s.tableIds[1], 22u);
        // Layout 0 has two identifiers: the first also fills the third slot.
        EXPECT_EQ(s.tableIds[2], layout == 0 ? 11u : 33u);
        EXPECT_EQ(s.lutChunkWord, 0x12345u);
        EXPECT_EQ(s.searchKey, 0xa1b2c3d4u);
        EXPECT_EQ(s.searchPair, 0x00050007u);
        EXPECT_EQ(s.name1[23], 'N');
        EXPECT_EQ(s.name2[0], 'M');
        EXPECT_EQ(s.profileValue[3], 4);
        EXPECT_EQ(s.recordFlags, 0x00060000u);
        // The 40 bytes after the flags: cleared for layouts 1 and 2 only.
        const uint8_t expected = layout == 0 ? 0xee : 0x00;
        for (uint8_t b : s.reservedAfterFlags) {
            ASSERT_EQ(b, expected) << "layout " << layout;
        }
    }
}

TEST(ProfileRecords, UnknownLayoutChangesOnlyTheLayoutField) {
    vrel::SettingsRecord before;
    std::memset(&before, 0x5a, sizeof before);
    vrel::SettingsRecord after = before;
    const ProfileRecord r = sampleRecord(3);
    vrel::fillSettingsFromProfile(&after, &r, 3);
    EXPECT_EQ(after.layout, 3);
    after.layout = before.layout;
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

} // namespace
