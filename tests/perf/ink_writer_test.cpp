// The packed-value writers of six and seven inks in order (two overlapping
// four-byte stores per pixel) against the reference byte writer: the same
// bytes in every pixel, and every byte outside the pixels' inks untouched,
// with and without spare bytes between pixels.
#include "convert/interpolation_kernel.h"
#include "convert/packed_interpolation_run.h"
#include "support/database_factory.h"

#include <gtest/gtest.h>
#include <vector>

namespace vrel::test {
namespace {

template <int Inks> void expectInOrderWriterMatches(uint32_t step, uint32_t seed) {
    dbwriter::Random random(seed);
    constexpr int kPixels = 200;
    std::vector<uint8_t> want(kPixels * step + 16, 0xa5), got(want);
    PackedInkWriter<Inks> reference{want.data() + 8, step, {}};
    for (int j = 0; j < Inks; ++j) {
        reference.offset[j] = static_cast<uint8_t>(j);
    }
    InOrderValueWriter<Inks> production{got.data() + 8, step};
    for (int i = 0; i < kPixels; ++i) {
        uint8_t inks[8] = {};
        uint64_t packedInks = 0;
        for (int j = 0; j < Inks; ++j) {
            inks[j] = random.byte();
            packedInks |= uint64_t{inks[j]} << (8 * j);
        }
        reference(inks);
        production(packedInks);
    }
    ASSERT_EQ(got, want) << Inks << " inks, step " << step;
}

TEST(InkWriters, SixAndSevenInksInOrderWriteOnlyTheirOwnBytes) {
    for (const uint32_t extra : {0u, 1u, 2u}) {
        expectInOrderWriterMatches<6>(6 + extra, 70 + extra);
        expectInOrderWriterMatches<7>(7 + extra, 80 + extra);
        expectInOrderWriterMatches<4>(4 + extra, 90 + extra);
    }
}

} // namespace
} // namespace vrel::test
