// The format module's key split against the writer's key packing: every
// field a key packs comes back, and a key with bits no field fills is told.
#include "resources/database_format.h"

#include <gtest/gtest.h>
#include <vrel/dbwriter.h>

namespace {

TEST(ProfileKeys, SplitGivesBackThePackedFieldsAndRefusesSpareBits) {
    ParamRecord packed{};
    packed.keyField94 = 0x15;
    packed.keyField14 = 0x123;
    packed.keyField16 = 2;
    packed.keyField104 = 0x11;
    packed.keyField106 = 3;
    packed.keyField108 = 1;
    for (const int layout : {1, 2}) {
        SCOPED_TRACE(layout);
        const uint32_t key = vrel::dbwriter::profileKey(packed, layout);
        ParamRecord split{};
        ASSERT_TRUE(vrel::format::splitProfileKey(key, layout, &split));
        EXPECT_EQ(split.keyField94, packed.keyField94);
        EXPECT_EQ(split.keyField14, packed.keyField14);
        EXPECT_EQ(split.keyField16, packed.keyField16);
        EXPECT_EQ(split.keyField104, packed.keyField104);
        EXPECT_EQ(split.keyField106, layout == 2 ? packed.keyField106 : 0);
        EXPECT_EQ(split.keyField108, layout == 2 ? packed.keyField108 : 0);
        EXPECT_FALSE(vrel::format::splitProfileKey(key | 1u << 25, layout, &split));
    }
}

} // namespace
