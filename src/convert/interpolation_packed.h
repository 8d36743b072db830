// A faster form of the shared tetrahedral core, for the hot conversion
// loops: the tetrahedron is found without branches, and all ink bytes of a
// node are interpolated at once in 64-bit registers (two inks per register,
// 32 bits apart), giving the inks packed in one integer, ink j in bits
// 8j..8j+7. The arithmetic is that of locateTetrahedron and interpolateNode
// in interpolation.h, which stay the reference these are tested against.
#pragma once

#include "convert/interpolation.h"
#include "resources/lut_block.h"

// SSE2 is part of every x86-64 target; elsewhere (and with
// -DVREL_SCALAR_KERNELS) the portable 64-bit form is used.
#if defined(__SSE2__) && !defined(VREL_SCALAR_KERNELS)
#include <emmintrin.h>
#define VREL_PACKED_SSE2 1
#endif

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace vrel {

// Which of the six cases the three comparisons of the decision tree select,
// taken at once as bits f1 > f2 (4), f0 > f2 (2), f0 > f1 (1); two of the
// eight combinations cannot occur and map where the tree would send them.
inline constexpr uint8_t kCaseOfOrder[8] = {0, 1, 2, 2, 3, 3, 4, 5};

// The same Tetrahedron as locateTetrahedron, without branches. The weights,
// which in every case are 65536 - largest, largest - middle, middle -
// smallest and smallest fraction, come from max and min.
inline Tetrahedron locateTetrahedronBranchless(const LutBlock* lut, uint8_t v0, uint8_t v1,
                                               uint8_t v2) {
    const AxisEntry& a0 = lut->axisTable[v0];
    const AxisEntry& a1 = lut->axisTable[v1];
    const AxisEntry& a2 = lut->axisTable[v2];
    const int32_t f0 = static_cast<int32_t>(a0.fraction);
    const int32_t f1 = static_cast<int32_t>(a1.fraction);
    const int32_t f2 = static_cast<int32_t>(a2.fraction);
    const unsigned order = static_cast<unsigned>(f1 > f2) << 2 |
                           static_cast<unsigned>(f0 > f2) << 1 | static_cast<unsigned>(f0 > f1);
    const uint32_t* offsets = &lut->cornerTable[3 * kCaseOfOrder[order]];
    const int32_t high = std::max(f0, std::max(f1, f2));
    const int32_t low = std::min(f0, std::min(f1, f2));
    const int32_t middle = f0 + f1 + f2 - high - low;
    return Tetrahedron{lut->grid() + a0.offset0 + a1.offset1 + a2.offset2,
                       offsets[0],
                       offsets[1],
                       offsets[2],
                       static_cast<uint32_t>(65536 - high),
                       static_cast<uint32_t>(high - middle),
                       static_cast<uint32_t>(middle - low),
                       static_cast<uint32_t>(low)};
}

namespace packed {

// Byte j of a value read from memory in bits 8j..8j+7, whatever the host's
// byte order.
template <typename Word> inline Word littleEndianBytes(Word v) {
    if constexpr (std::endian::native == std::endian::big) {
        if constexpr (sizeof(Word) == 4) {
            return __builtin_bswap32(v);
        } else {
            return __builtin_bswap64(v);
        }
    }
    return v;
}

inline constexpr uint64_t kLanes = 0x000000ff000000ffull;    // bytes at bits 0 and 32
inline constexpr uint64_t kRounding = 0x0000800000008000ull; // 32768 in each lane

// Node bytes 0..Channels-1, ink j in bits 8j.. (bytes past Channels are 0).
// Six and seven inks are read as eight bytes: the zero slack after the grid
// (kLutExtraSlack) keeps such a read of the far corner inside the block.
template <int Channels> inline uint64_t loadNode(const uint8_t* node) {
    static_assert(Channels == 3 || Channels == 4 || Channels == 6 || Channels == 7);
    if constexpr (Channels <= 4) {
        uint32_t v;
        std::memcpy(&v, node, 4);
        if constexpr (Channels == 3) {
            v &= 0x00ffffffu;
        }
        return littleEndianBytes(v);
    } else {
        uint64_t v;
        std::memcpy(&v, node, 8);
        return littleEndianBytes(v) & ((uint64_t{1} << (8 * Channels)) - 1);
    }
}

// Sum of the four weighted lanes of one byte pair, rounded and shifted: each
// lane holds at most 255 * 65536 + 32768 < 2^24, so lanes never carry into
// each other.
inline uint64_t weighLanes(uint64_t p, uint64_t a, uint64_t b, uint64_t c, const Tetrahedron& t) {
    const uint64_t sum = t.weightP * p + t.weightA * a + t.weightB * b + t.weightC * c + kRounding;
    return (sum >> 16) & kLanes;
}

} // namespace packed

// interpolateNode<Channels> with the result packed: ink j in bits 8j..8j+7,
// the bytes past Channels 0. Portable form: 64-bit registers only.
template <int Channels> inline uint64_t interpolateNodeSwar(const Tetrahedron& t) {
    using packed::kLanes;
    const uint64_t p = packed::loadNode<Channels>(t.base);
    const uint64_t a = packed::loadNode<Channels>(t.base + t.offsetA);
    const uint64_t b = packed::loadNode<Channels>(t.base + t.offsetB);
    const uint64_t c = packed::loadNode<Channels>(t.base + t.offsetC);
    if constexpr (Channels <= 4) {
        // Inks 0 and 2 in one register, 1 and 3 in the other.
        auto spread = [](uint64_t v) { return (v | (v << 16)) & kLanes; };
        const uint64_t even = packed::weighLanes(spread(p & 0x00ff00ff), spread(a & 0x00ff00ff),
                                                 spread(b & 0x00ff00ff), spread(c & 0x00ff00ff), t);
        const uint64_t odd =
            packed::weighLanes(spread((p >> 8) & 0x00ff00ff), spread((a >> 8) & 0x00ff00ff),
                               spread((b >> 8) & 0x00ff00ff), spread((c >> 8) & 0x00ff00ff), t);
        const uint64_t joined = even | (odd << 8); // inks 0, 1 low; 2, 3 at bit 32
        return (joined & 0xffff) | ((joined >> 16) & 0xffff0000);
    } else {
        // Inks j and j + 4 in register j.
        uint64_t result = 0;
        for (int j = 0; j < 4; ++j) {
            const int s = 8 * j;
            result |= packed::weighLanes((p >> s) & kLanes, (a >> s) & kLanes, (b >> s) & kLanes,
                                         (c >> s) & kLanes, t)
                      << s;
        }
        return result;
    }
}

#ifdef VREL_PACKED_SSE2
// The same with SSE2: the bytes of P and A, and of B and C, are interleaved
// into 16-bit pairs and multiplied-and-added with the pairs of weights. A
// weight (up to 65536) does not fit a signed 16-bit lane, so it is split into
// w = 256 wHigh + wLow (wHigh up to 256, wLow up to 255) and the two partial
// sums are joined in 32 bits: sum = 256 hiSum + loSum + 32768, shifted by 16.
template <int Channels> inline uint64_t interpolateNodeSse2(const Tetrahedron& t) {
    auto load = [](const uint8_t* node) {
        if constexpr (Channels <= 4) {
            uint32_t v;
            std::memcpy(&v, node, 4);
            return _mm_cvtsi32_si128(static_cast<int>(v));
        } else {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(node));
        }
    };
    auto pairOf = [](uint32_t first, uint32_t second) {
        return _mm_set1_epi32(static_cast<int>(first | second << 16));
    };
    const __m128i zero = _mm_setzero_si128();
    const __m128i pa = _mm_unpacklo_epi8(load(t.base), load(t.base + t.offsetA));
    const __m128i bc = _mm_unpacklo_epi8(load(t.base + t.offsetB), load(t.base + t.offsetC));
    const __m128i highPA = pairOf(t.weightP >> 8, t.weightA >> 8);
    const __m128i highBC = pairOf(t.weightB >> 8, t.weightC >> 8);
    const __m128i lowPA = pairOf(t.weightP & 255, t.weightA & 255);
    const __m128i lowBC = pairOf(t.weightB & 255, t.weightC & 255);
    const __m128i rounding = _mm_set1_epi32(32768);
    auto weigh = [&](__m128i pairsPA, __m128i pairsBC) {
        const __m128i high =
            _mm_add_epi32(_mm_madd_epi16(pairsPA, highPA), _mm_madd_epi16(pairsBC, highBC));
        const __m128i low =
            _mm_add_epi32(_mm_madd_epi16(pairsPA, lowPA), _mm_madd_epi16(pairsBC, lowBC));
        return _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(high, 8), low), rounding),
                              16);
    };
    const __m128i inks0to3 = weigh(_mm_unpacklo_epi8(pa, zero), _mm_unpacklo_epi8(bc, zero));
    if constexpr (Channels <= 4) {
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(inks0to3, zero), zero);
        const uint32_t v = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
        return Channels == 4 ? v : v & 0x00ffffffu;
    } else {
        const __m128i inks4to7 = weigh(_mm_unpackhi_epi8(pa, zero), _mm_unpackhi_epi8(bc, zero));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(inks0to3, inks4to7), zero);
        uint64_t v;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&v), bytes);
        return v & ((uint64_t{1} << (8 * Channels)) - 1);
    }
}
#endif

// The packed node interpolation of the conversion loops.
template <int Channels> inline uint64_t interpolateNodePacked(const Tetrahedron& t) {
#ifdef VREL_PACKED_SSE2
    return interpolateNodeSse2<Channels>(t);
#else
    return interpolateNodeSwar<Channels>(t);
#endif
}

} // namespace vrel
