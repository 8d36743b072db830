#include "foundation_helpers.h"
#include "interface/context_lifecycle.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace {

ParamRecord randomRecord(std::mt19937& rng) {
    ParamRecord p;
    auto* bytes = reinterpret_cast<uint8_t*>(&p);
    for (std::size_t i = 0; i < sizeof p; ++i) {
        bytes[i] = static_cast<uint8_t>(rng());
    }
    p.directoryName = nullptr;
    return p;
}

// Reference, field by field from the keep rule.
bool referenceSame(const ParamRecord& fresh, const ParamRecord& kept) {
    const auto* a = reinterpret_cast<const uint8_t*>(&fresh);
    const auto* b = reinterpret_cast<const uint8_t*>(&kept);
    for (int i = 0; i < 26; ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    if (fresh.adjustSwitch == 1) {
        if (fresh.tableSelector != kept.tableSelector || fresh.inputKind != kept.inputKind) {
            return false;
        }
        for (int k = 0; k < 4; ++k) {
            if (fresh.balance[k] != kept.balance[k]) {
                return false;
            }
        }
    }
    return fresh.density == kept.density && fresh.methodOverride == kept.methodOverride &&
           fresh.paramWord134 == kept.paramWord134;
}

TEST(SameParams, MatchesFieldReferenceUnderSingleByteChanges) {
    std::mt19937 rng(31);
    int kept = 0;
    for (int i = 0; i < 20000; ++i) {
        ParamRecord base = randomRecord(rng);
        if (rng() % 2 == 0) {
            base.adjustSwitch = 1;
        }
        ParamRecord changed = base;
        auto* bytes = reinterpret_cast<uint8_t*>(&changed);
        // Change one byte outside the pointer.
        std::size_t at = rng() % sizeof changed;
        if (at >= 150 && at < 150 + sizeof(void*)) {
            at = 0;
        }
        bytes[at] = static_cast<uint8_t>(bytes[at] ^ (1u + rng() % 255));
        if (rng() % 4 == 0) {
            changed.adjustSwitch = static_cast<uint16_t>(rng() % 3);
        }
        const bool same = vrel::sameParams(&changed, &base);
        ASSERT_EQ(same, referenceSame(changed, base)) << "byte " << at;
        kept += same ? 1 : 0;
    }
    // Both outcomes were exercised.
    EXPECT_GT(kept, 1000);
    EXPECT_LT(kept, 19000);
}

TEST(SameParams, IgnoresNameDirectoryAndKeyFieldsButNotTheLeadingWords) {
    ParamRecord kept = foundation::makeParams("a.qz", nullptr);
    ParamRecord fresh = kept;
    std::strcpy(fresh.databaseName, "b.qz");
    fresh.directoryName = "/elsewhere";
    fresh.keyField94 = 9;
    fresh.keyField104 = 9;
    fresh.keyField106 = 9;
    fresh.keyField108 = 9;
    fresh.reserved26 = 0; // the reserved word after the leading run
    EXPECT_TRUE(vrel::sameParams(&fresh, &kept));
    fresh.recordWords9to12[3] = 1; // word 12, last of the compared run
    EXPECT_FALSE(vrel::sameParams(&fresh, &kept));
    EXPECT_FALSE(vrel::sameParams(nullptr, &kept));
}

} // namespace
