// On-dot black against the bit-by-bit reference over random bilevel planes,
// line lengths and ranges (inverted, empty, negative, past the line), at
// every kernel level this machine runs, on contexts opened from writer-made
// databases; and the refusals.
#include "convert/kernel_set.h"
#include "support/reference.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace vrel::test {
namespace {

using Planes = std::array<ExactBuffer, 4>;

Planes randomPlanes(dbwriter::Random& random, size_t bytes) {
    Planes planes = {ExactBuffer(bytes), ExactBuffer(bytes), ExactBuffer(bytes),
                     ExactBuffer(bytes)};
    for (ExactBuffer& plane : planes) {
        for (size_t i = 0; i < bytes; ++i) {
            plane.data()[i] = random.byte();
        }
    }
    return planes;
}

Planes copyOf(const Planes& p) {
    auto copy = [](const ExactBuffer& b) { return ExactBuffer(b.size(), b.data(), b.size()); };
    return {copy(p[0]), copy(p[1]), copy(p[2]), copy(p[3])};
}

VrelResult onDot(Planes& p, int count, int skipStart, int skipEnd, EngineContext* context) {
    return VrelOnDotBlack(p[0].data(), p[1].data(), p[2].data(), p[3].data(),
                          static_cast<int16_t>(count), static_cast<int16_t>(skipStart),
                          static_cast<int16_t>(skipEnd), 0, context);
}

TEST(OnDotBlack, BothRulesMatchTheReferenceAtEveryKernelLevel) {
    for (const int method : {VrelMethodBlack, VrelMethodFourColor}) {
        SampleFile file(makeSampleDatabase(recipeForMethod(method)));
        OpenContext context(file.params(0));
        ASSERT_TRUE(context);
        for (int level = 0; level <= static_cast<int>(supportedKernelIsa()); ++level) {
            vrel::testing::limitKernelIsa(static_cast<KernelIsa>(level));
            dbwriter::Random random(static_cast<uint64_t>(method * 10 + level));
            for (int run = 0; run < 3000; ++run) {
                // Mostly short lines (every partial-byte shape), some long
                // ones; now and then a negative count or skip.
                const int count =
                    run % 4 == 0 ? static_cast<int>(random.below(2400))
                                 : static_cast<int>(random.below(80)) - (run % 50 == 1 ? 90 : 0);
                const int span = std::max(count, 0) + 12;
                const int skipStart =
                    static_cast<int>(random.below(static_cast<uint32_t>(span))) - 4;
                const int skipEnd = static_cast<int>(random.below(static_cast<uint32_t>(span))) - 4;
                // Exactly the line's bytes: nothing past them may be touched.
                Planes got = randomPlanes(random, static_cast<size_t>(std::max(count, 0) + 7) / 8);
                Planes want = copyOf(got);
                uint8_t* wantPlanes[4] = {want[0].data(), want[1].data(), want[2].data(),
                                          want[3].data()};
                ASSERT_EQ(referenceOnDot(
                              static_cast<int16_t>(method), wantPlanes, static_cast<int16_t>(count),
                              static_cast<int16_t>(skipStart), static_cast<int16_t>(skipEnd)),
                          VREL_OK);
                ASSERT_EQ(onDot(got, count, skipStart, skipEnd, context.get()), VREL_OK);
                for (int p = 0; p < 4; ++p) {
                    ASSERT_EQ(got[p].bytes(), want[p].bytes())
                        << "method " << method << " level " << level << " plane " << p << " count "
                        << count << " skips " << skipStart << "/" << skipEnd;
                }
            }
        }
        vrel::testing::limitKernelIsa(KernelIsa::Avx2);
        // A line of no pixel touches no plane, not even a null one.
        EXPECT_EQ(VrelOnDotBlack(nullptr, nullptr, nullptr, nullptr, -5, 0, 0, 0, context.get()),
                  VREL_OK);
    }
}

// Methods other than black and four colours, and a null context, are
// refused without touching a plane.
TEST(OnDotBlack, OtherMethodsAndNullContextsAreRefused) {
    dbwriter::Random random(5);
    const Planes original = randomPlanes(random, 8);
    for (const int method :
         {int{VrelMethodThreeChannel}, int{VrelMethodSixColor}, int{VrelMethodSevenColor}, 0}) {
        SampleFile file(makeSampleDatabase(recipeForMethod(method == 0 ? 4 : method)));
        OpenContext context(file.params(0));
        ASSERT_TRUE(context);
        Planes planes = copyOf(original);
        EXPECT_EQ(onDot(planes, 64, 0, 0, method == 0 ? nullptr : context.get()), VREL_ERR_PARAM)
            << method;
        for (int p = 0; p < 4; ++p) {
            EXPECT_EQ(planes[p].bytes(), original[p].bytes()) << method;
        }
    }
}

} // namespace
} // namespace vrel::test
