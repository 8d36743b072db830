// The new-colour path of the packed conversion loop: pre-correction, cell
// and tetrahedron, node interpolation, for one colour the cache did not
// hold. The arithmetic is that of preCorrect, locateTetrahedron and
// interpolateNode (the reference these are tested against), rearranged to
// cost fewer instructions:
//  - the fold of a sum s (0..510) to a table coordinate, 255 - s or 0, and
//    the scaling to an axis-table entry are one look-up of a constant table;
//  - the three corners of every order of the fractions are fetched once per
//    call, indexed by the three comparison bits directly;
//  - the weighted sum is taken in its telescoped form
//      (65536 - h) P + (h - m) A + (m - l) B + l C
//        = 65536 P + h (A - P) + m (B - A) + l (C - B)
//    with h, m, l the fractions from largest to smallest, equal term by term
//    modulo 2^32, so the plain fractions are the multipliers. With 32-bit
//    lane multiplies (SSE4.1, AVX2) all inks are weighed at once with no
//    splitting of the weights; ink j is then byte 2 of lane j.
#pragma once

#include "convert/colour_precorrection.h"
#include "convert/interpolation_packed.h"
#include "convert/kernel_isa.h"
#include "resources/lut_block.h"

#ifdef VREL_X86_KERNELS
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vrel {

// Byte offset in the axis table of the coordinate a sum s gives.
struct FoldedAxisOffsets {
    uint16_t at[511];
};
inline constexpr FoldedAxisOffsets kFoldedAxisOffset = [] {
    FoldedAxisOffsets t{};
    for (int s = 0; s < 511; ++s) {
        t.at[s] = static_cast<uint16_t>((s < 256 ? 255 - s : 0) * sizeof(AxisEntry));
    }
    return t;
}();

// The case (as locateTetrahedron numbers them) of each order of the
// fractions, by the comparison bits of NewColourTables::corners.
inline constexpr uint8_t kCaseOfRotation[8] = {0, 2, 4, 5, 0, 1, 3, 0};

// What the new-colour path reads, gathered once per call.
struct NewColourTables {
    const uint8_t* grey;
    const uint8_t (*adjust)[256];
    const uint8_t* axis; // the axis table, addressed in bytes
    const uint8_t* grid;
    // First, second and far corner by the comparison bits f0 > f1 (1),
    // f1 > f2 (2), f2 > f0 (4), which name the order of the fractions from
    // largest to smallest (all three clear: all equal; all set cannot
    // occur). Where fractions tie, the tied corners carry weight 0, so
    // either order gives the same inks.
    uint32_t corners[8][4];
    NewColourTables(const LutBlock* lut, const PreCorrectionCurves& curves)
        : grey(curves.grey), adjust(curves.adjust),
          axis(reinterpret_cast<const uint8_t*>(lut->axisTable)), grid(lut->grid()), corners{} {
        for (int order = 0; order < 8; ++order) {
            for (int k = 0; k < 3; ++k) {
                corners[order][k] = lut->cornerTable[3 * kCaseOfRotation[order] + k];
            }
        }
    }
};

// A located colour: base node, corner offsets and the fractions from
// largest to smallest.
struct SortedCell {
    const uint8_t* base;
    uint32_t offsetA, offsetB, offsetC;
    uint32_t high, middle, low;
};

// The axis-table entries of the pre-corrected coordinates of a colour.
struct AxisEntries {
    const uint8_t* e0;
    const uint8_t* e1;
    const uint8_t* e2;
};

inline AxisEntries preCorrectedAxisEntries(const NewColourTables& t, uint32_t red, uint32_t green,
                                           uint32_t blue) {
    const uint32_t x0 = t.grey[red], x1 = t.grey[green], x2 = t.grey[blue];
    const uint32_t m = std::min(x0, std::min(x1, x2));
    const uint32_t black = t.adjust[3][m];
    return AxisEntries{t.axis + kFoldedAxisOffset.at[t.adjust[0][x0 - m] + black],
                       t.axis + kFoldedAxisOffset.at[t.adjust[1][x1 - m] + black],
                       t.axis + kFoldedAxisOffset.at[t.adjust[2][x2 - m] + black]};
}

inline SortedCell locateNewColour(const NewColourTables& t, uint32_t red, uint32_t green,
                                  uint32_t blue) {
    const auto [e0, e1, e2] = preCorrectedAxisEntries(t, red, green, blue);
    AxisEntry a0, a1, a2;
    std::memcpy(&a0, e0, sizeof a0);
    std::memcpy(&a1, e1, sizeof a1);
    std::memcpy(&a2, e2, sizeof a2);
    const int32_t f0 = static_cast<int32_t>(a0.fraction);
    const int32_t f1 = static_cast<int32_t>(a1.fraction);
    const int32_t f2 = static_cast<int32_t>(a2.fraction);
    const unsigned order = static_cast<unsigned>(f2 > f0) << 2 |
                           static_cast<unsigned>(f1 > f2) << 1 | static_cast<unsigned>(f0 > f1);
    const uint32_t* c = t.corners[order];
    const int32_t high = std::max(f0, std::max(f1, f2));
    const int32_t low = std::min(f0, std::min(f1, f2));
    const int32_t middle = f0 + f1 + f2 - high - low;
    return SortedCell{t.grid + a0.offset0 + a1.offset1 + a2.offset2,
                      c[0],
                      c[1],
                      c[2],
                      static_cast<uint32_t>(high),
                      static_cast<uint32_t>(middle),
                      static_cast<uint32_t>(low)};
}

// Portable level: the weights of interpolateNode, through the packed core.
template <int Channels> inline uint64_t interpolateSortedPortable(const SortedCell& s) {
    return interpolateNodePacked<Channels>(Tetrahedron{s.base, s.offsetA, s.offsetB, s.offsetC,
                                                       65536 - s.high, s.high - s.middle,
                                                       s.middle - s.low, s.low});
}

template <int Channels> constexpr uint64_t channelMask() {
    return Channels >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * Channels)) - 1;
}

#ifdef VREL_X86_KERNELS
// The vector levels locate with vectors too: the three fractions in lanes
// 0..2 (and f0 again in lane 3) against their rotations give, in every
// lane, the largest, middle and smallest fraction (broadcast, ready to
// multiply) and, as a lane mask, the comparison bits that pick the corners;
// no branch depends on the colour. Vector values stay inside these inlined
// functions, so no calling convention depends on the target attributes.
struct VectorCell {
    const uint8_t* base;
    const uint32_t* corners;
    __m128i high, middle, low;
};

[[gnu::target("sse4.1"), gnu::always_inline]] inline VectorCell
locateNewColourSse41(const NewColourTables& t, uint32_t red, uint32_t green, uint32_t blue) {
    const auto [e0, e1, e2] = preCorrectedAxisEntries(t, red, green, blue);
    auto word = [](const uint8_t* p) {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    };
    // AxisEntry: fraction, offset0, offset1, offset2.
    const uint8_t* base = t.grid + static_cast<uint32_t>(word(e0 + 4)) +
                          static_cast<uint32_t>(word(e1 + 8)) +
                          static_cast<uint32_t>(word(e2 + 12));
    __m128i f = _mm_cvtsi32_si128(word(e0));
    f = _mm_insert_epi32(f, word(e1), 1);
    f = _mm_insert_epi32(f, word(e2), 2);
    f = _mm_shuffle_epi32(f, _MM_SHUFFLE(0, 2, 1, 0));                   // f0 f1 f2 f0
    const __m128i next = _mm_shuffle_epi32(f, _MM_SHUFFLE(1, 0, 2, 1));  // f1 f2 f0 f1
    const __m128i third = _mm_shuffle_epi32(f, _MM_SHUFFLE(2, 1, 0, 2)); // f2 f0 f1 f2
    const __m128i high = _mm_max_epi32(f, _mm_max_epi32(next, third));
    const __m128i low = _mm_min_epi32(f, _mm_min_epi32(next, third));
    const __m128i middle =
        _mm_sub_epi32(_mm_add_epi32(f, _mm_add_epi32(next, third)), _mm_add_epi32(high, low));
    const unsigned order =
        static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(f, next)))) & 7;
    return VectorCell{base, t.corners[order], high, middle, low};
}

// Inks 0..3 (byte 0 of the node and up) or 4..7 (byte 4 and up) in 32-bit
// lanes, weighed; ink j in byte 2 of lane j. The node reads of four bytes
// past the last channel stay inside the grid's zero slack.
[[gnu::target("sse4.1"), gnu::always_inline]] inline __m128i weighFourSse41(const VectorCell& s,
                                                                            int firstByte) {
    auto load = [](const uint8_t* p) {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    };
    const uint8_t* p = s.base + firstByte;
    const __m128i np = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(load(p)));
    const __m128i na = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(load(p + s.corners[0])));
    const __m128i nb = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(load(p + s.corners[1])));
    const __m128i nc = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(load(p + s.corners[2])));
    __m128i sum = _mm_add_epi32(_mm_slli_epi32(np, 16), _mm_set1_epi32(32768));
    sum = _mm_add_epi32(sum, _mm_mullo_epi32(_mm_sub_epi32(na, np), s.high));
    sum = _mm_add_epi32(sum, _mm_mullo_epi32(_mm_sub_epi32(nb, na), s.middle));
    sum = _mm_add_epi32(sum, _mm_mullo_epi32(_mm_sub_epi32(nc, nb), s.low));
    return sum;
}

template <int Channels>
[[gnu::target("sse4.1"), gnu::always_inline]] inline uint64_t
interpolateCellSse41(const VectorCell& s) {
    // Byte 2 of each lane to bytes 0..3.
    const __m128i pick =
        _mm_setr_epi8(2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const uint32_t low =
        static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi8(weighFourSse41(s, 0), pick)));
    if constexpr (Channels <= 4) {
        return low & channelMask<Channels>();
    } else {
        const uint32_t high =
            static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi8(weighFourSse41(s, 4), pick)));
        return (low | uint64_t{high} << 32) & channelMask<Channels>();
    }
}

// Eight inks in one register; four or fewer take the 128-bit form.
template <int Channels>
[[gnu::target("avx2"), gnu::always_inline]] inline uint64_t
interpolateCellAvx2(const VectorCell& s) {
    if constexpr (Channels <= 4) {
        return interpolateCellSse41<Channels>(s);
    } else {
        // Eight bytes per node: the zero slack after the grid keeps the far
        // corner's read inside the block.
        const __m128i* p = reinterpret_cast<const __m128i*>(s.base);
        const __m128i* a = reinterpret_cast<const __m128i*>(s.base + s.corners[0]);
        const __m128i* b = reinterpret_cast<const __m128i*>(s.base + s.corners[1]);
        const __m128i* c = reinterpret_cast<const __m128i*>(s.base + s.corners[2]);
        const __m256i np = _mm256_cvtepu8_epi32(_mm_loadl_epi64(p));
        const __m256i na = _mm256_cvtepu8_epi32(_mm_loadl_epi64(a));
        const __m256i nb = _mm256_cvtepu8_epi32(_mm_loadl_epi64(b));
        const __m256i nc = _mm256_cvtepu8_epi32(_mm_loadl_epi64(c));
        __m256i sum = _mm256_add_epi32(_mm256_slli_epi32(np, 16), _mm256_set1_epi32(32768));
        sum = _mm256_add_epi32(
            sum, _mm256_mullo_epi32(_mm256_sub_epi32(na, np), _mm256_broadcastd_epi32(s.high)));
        sum = _mm256_add_epi32(
            sum, _mm256_mullo_epi32(_mm256_sub_epi32(nb, na), _mm256_broadcastd_epi32(s.middle)));
        sum = _mm256_add_epi32(
            sum, _mm256_mullo_epi32(_mm256_sub_epi32(nc, nb), _mm256_broadcastd_epi32(s.low)));
        // Byte 2 of each lane to bytes 0..3 of each half, halves joined.
        const __m256i pick =
            _mm256_setr_epi8(2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 6, 10,
                             14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
        const __m256i bytes = _mm256_permutevar8x32_epi32(
            _mm256_shuffle_epi8(sum, pick), _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1));
        uint64_t v;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&v), _mm256_castsi256_si128(bytes));
        return v & channelMask<Channels>();
    }
}
#endif

// One new colour's inks (ink j in bits 8j..8j+7, bytes past Channels 0) at
// each level. Out of line so that the loop around it, which mostly repeats
// or finds colours, keeps its registers.
template <int Channels>
[[gnu::noinline]] uint64_t newColourPortable(const NewColourTables& t, uint32_t red, uint32_t green,
                                             uint32_t blue) {
    return interpolateSortedPortable<Channels>(locateNewColour(t, red, green, blue));
}

#ifdef VREL_X86_KERNELS
template <int Channels>
[[gnu::noinline, gnu::target("sse4.1")]] uint64_t
newColourSse41(const NewColourTables& t, uint32_t red, uint32_t green, uint32_t blue) {
    return interpolateCellSse41<Channels>(locateNewColourSse41(t, red, green, blue));
}

template <int Channels>
[[gnu::noinline, gnu::target("avx2")]] uint64_t
newColourAvx2(const NewColourTables& t, uint32_t red, uint32_t green, uint32_t blue) {
    return interpolateCellAvx2<Channels>(locateNewColourSse41(t, red, green, blue));
}
#endif

// The inks of a new colour at level Isa.
template <int Channels, KernelIsa Isa>
inline uint64_t newColourInks(const NewColourTables& t, uint32_t red, uint32_t green,
                              uint32_t blue) {
#ifdef VREL_X86_KERNELS
    if constexpr (Isa == KernelIsa::Avx2) {
        return newColourAvx2<Channels>(t, red, green, blue);
    } else if constexpr (Isa == KernelIsa::Sse41) {
        return newColourSse41<Channels>(t, red, green, blue);
    }
#endif
    return newColourPortable<Channels>(t, red, green, blue);
}

} // namespace vrel
