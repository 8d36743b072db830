#include "resources/byte_order.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

TEST(ByteOrder, HostOrderMatchesHowAWordIsStored) {
    const uint32_t word = 0x01020304;
    uint8_t first;
    std::memcpy(&first, &word, 1);
    EXPECT_EQ(vrel::hostIsBigEndian(), first == 0x01 ? 1 : 0);
}

// Plain reference: byte i of each whole unit goes to position unit-1-i.
std::vector<uint8_t> referenceSwap(std::vector<uint8_t> bytes, int32_t length, int unit) {
    if (unit != 2 && unit != 4) {
        return bytes;
    }
    std::vector<uint8_t> out = bytes;
    for (int32_t g = 0; g + unit <= length; g += unit) {
        for (int i = 0; i < unit; ++i) {
            out[static_cast<std::size_t>(g + i)] =
                bytes[static_cast<std::size_t>(g + unit - 1 - i)];
        }
    }
    return out;
}

TEST(ByteOrder, SwapMatchesPlainReferenceForEveryUnitAndLength) {
    std::mt19937 rng(7);
    for (int unit : {0, 1, 2, 3, 4, 8}) {
        for (int32_t length = 0; length <= 37; ++length) {
            std::vector<uint8_t> bytes(40);
            for (uint8_t& b : bytes) {
                b = static_cast<uint8_t>(rng());
            }
            std::vector<uint8_t> expected = referenceSwap(bytes, length, unit);
            vrel::swapBytes(bytes.data(), length, static_cast<int16_t>(unit));
            ASSERT_EQ(bytes, expected) << "unit " << unit << " length " << length;
        }
    }
}

TEST(ByteOrder, SwapOfSixBytesByFourLeavesTheRemainder) {
    uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    vrel::swapBytes(bytes, 6, 4);
    const uint8_t expected[6] = {4, 3, 2, 1, 5, 6};
    EXPECT_EQ(std::memcmp(bytes, expected, 6), 0);
}

TEST(ByteOrder, LittleEndianLoadsIgnoreHostOrderAndAlignment) {
    const uint8_t bytes[7] = {0xee, 0x44, 0x33, 0x22, 0x11, 0x80, 0xff};
    EXPECT_EQ(vrel::loadLe32(bytes + 1), 0x11223344u);
    EXPECT_EQ(vrel::loadLe16(bytes + 5), 0xff80u);
    EXPECT_EQ(vrel::loadLe32(bytes + 3), 0xff801122u);
}

} // namespace
