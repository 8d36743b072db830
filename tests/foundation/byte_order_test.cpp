#include "resources/byte_order.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(ByteOrder, LittleEndianLoadsIgnoreHostOrderAndAlignment) {
    const uint8_t bytes[7] = {0xee, 0x44, 0x33, 0x22, 0x11, 0x80, 0xff};
    EXPECT_EQ(vrel::loadLe32(bytes + 1), 0x11223344u);
    EXPECT_EQ(vrel::loadLe16(bytes + 5), 0xff80u);
    EXPECT_EQ(vrel::loadLe32(bytes + 3), 0xff801122u);
}

} // namespace
