// The one source of the interpolating kernels and the on-dot rules. It is
// compiled once per instruction-set level, each time in a translation unit
// of its own built with that level's target flags (kernels_portable.cpp,
// kernels_sse41.cpp, kernels_avx2.cpp), which defines:
//   VREL_KERNEL_SET    the name of the KernelSet the unit exports
//   VREL_KERNEL_ISA    its KernelIsa
//   VREL_KERNEL_X86    1 where SSE2 intrinsics may be used (x86 levels)
//   VREL_KERNEL_WIDE   1 where 32-byte vectors are native (AVX2)
//
// Everything here has internal linkage, so the linker can never let one
// level's code stand in for another's; the few functions of shared headers
// it calls are always inlined for the same reason.
//
// The arithmetic, for one colour the cache does not hold:
//  - pre-correction: x = greyCurve of each channel, m the smallest, black =
//    adjust[3][m], s_k = adjust[k][x_k - m] + black, and the table coordinate
//    c_k = 255 - s_k, or 0 when s_k (0..510) is 256 or more, so that it
//    never goes negative (the correction uses its input curve instead);
//  - the tetrahedron: with the three fractions f0, f1, f2 of the coordinates'
//    cells sorted into h >= m >= l, the corners P (the cell's base), A, B
//    and C (the far corner) of the order, and the result
//      (P (65536 - h) + A (h - m) + B (m - l) + C l + 32768) >> 16,
//    taken in its telescoped form 65536 P + h (A - P) + m (B - A) + l (C - B),
//    which is equal term by term modulo 2^32 (every true sum is below 2^24),
//    so that the plain fractions are the multipliers. Where fractions tie,
//    the tied corners carry weight 0, so either order gives the same inks.
//  - all inks of a node are weighed at once in 32-bit lanes, four or eight.
#ifndef VREL_KERNEL_SET
#error "kernels_inl.h is compiled through one of the kernels_<level>.cpp units"
#endif

#include "convert/kernel_set.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if VREL_KERNEL_X86
#include <immintrin.h>
#endif

namespace vrel {

namespace {

// ------------------------------------------------------------------ helpers
// Plain helpers rather than the standard library's templates, whose
// instances the linker could share between the levels.

[[gnu::always_inline]] inline int32_t largest(int32_t a, int32_t b) {
    return a > b ? a : b;
}
[[gnu::always_inline]] inline int32_t smallest(int32_t a, int32_t b) {
    return a < b ? a : b;
}

// Byte j of a value read from memory in bits 8j..8j+7, whatever the host's
// byte order.
template <typename Word> [[gnu::always_inline]] inline Word littleEndianBytes(Word v) {
    if constexpr (std::endian::native == std::endian::big) {
        if constexpr (sizeof(Word) == 4) {
            return __builtin_bswap32(v);
        } else {
            return __builtin_bswap64(v);
        }
    }
    return v;
}

template <int Inks> constexpr uint64_t inkMask() {
    return (uint64_t{1} << (8 * Inks)) - 1;
}

// ------------------------------------------------------------------- cells

// What locating a colour reads, gathered once per call.
struct CellTables {
    const AxisEntry* axis;
    const uint8_t* grid;
    // The corners A, B, C of each order of the fractions, by the comparison
    // bits f0 > f1 (1), f1 > f2 (2), f2 > f0 (4) (all three clear: all equal;
    // all set cannot occur).
    uint32_t corners[8][4];

    explicit CellTables(const LutBlock* lut) : axis(lut->axisTable), grid(lut->grid()), corners{} {
        // The lut's corner table lists the six tetrahedra in the order of
        // its case numbers; this is the case of each order.
        constexpr uint8_t kCaseOfOrder[8] = {0, 2, 4, 5, 0, 1, 3, 0};
        for (int order = 0; order < 8; ++order) {
            for (int k = 0; k < 3; ++k) {
                corners[order][k] = lut->cornerTable[3 * kCaseOfOrder[order] + k];
            }
        }
    }
};

// The three fractions of a located colour sorted, largest first: plain
// integers at the portable level; at the x86 levels each held in all four
// lanes of a vector, sorted there with no branch and no scalar compare.
#if VREL_KERNEL_X86
using Fraction = __m128i;
#else
using Fraction = uint32_t;
#endif

// A located colour: base node, corner offsets, fractions from largest down.
struct Cell {
    const uint8_t* base;
    const uint32_t* corners;
    Fraction high, middle, low;
};

// Locates the colour whose coordinates' axis entries sit at byte offsets
// at0, at1, at2 of the axis table.
[[gnu::always_inline]] inline Cell locate(const CellTables& t, uint32_t at0, uint32_t at1,
                                          uint32_t at2) {
    AxisEntry a0, a1, a2;
    const auto* axis = reinterpret_cast<const uint8_t*>(t.axis);
    std::memcpy(&a0, axis + at0, sizeof a0);
    std::memcpy(&a1, axis + at1, sizeof a1);
    std::memcpy(&a2, axis + at2, sizeof a2);
    const uint8_t* base = t.grid + a0.offset0 + a1.offset1 + a2.offset2;
#if VREL_KERNEL_X86
    // Lanes (f0 f1 f2 f0) against their rotations (f1 f2 f0 f1) and
    // (f2 f0 f1 f2): every lane of the maximum, minimum and middle holds the
    // same value, and the first three lanes of f > next are the order bits.
    __m128i f = _mm_cvtsi32_si128(static_cast<int32_t>(a0.fraction));
    f = _mm_insert_epi32(f, static_cast<int32_t>(a1.fraction), 1);
    f = _mm_insert_epi32(f, static_cast<int32_t>(a2.fraction), 2);
    f = _mm_shuffle_epi32(f, _MM_SHUFFLE(0, 2, 1, 0));
    const __m128i next = _mm_shuffle_epi32(f, _MM_SHUFFLE(1, 0, 2, 1));
    const __m128i third = _mm_shuffle_epi32(f, _MM_SHUFFLE(2, 1, 0, 2));
    const __m128i high = _mm_max_epi32(f, _mm_max_epi32(next, third));
    const __m128i low = _mm_min_epi32(f, _mm_min_epi32(next, third));
    const __m128i middle =
        _mm_sub_epi32(_mm_add_epi32(f, _mm_add_epi32(next, third)), _mm_add_epi32(high, low));
    const unsigned order =
        static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(f, next)))) & 7;
    return Cell{base, t.corners[order], high, middle, low};
#else
    const auto f0 = static_cast<int32_t>(a0.fraction);
    const auto f1 = static_cast<int32_t>(a1.fraction);
    const auto f2 = static_cast<int32_t>(a2.fraction);
    const unsigned order = static_cast<unsigned>(f2 > f0) << 2 |
                           static_cast<unsigned>(f1 > f2) << 1 | static_cast<unsigned>(f0 > f1);
    const int32_t high = largest(f0, largest(f1, f2));
    const int32_t low = smallest(f0, smallest(f1, f2));
    const int32_t middle = f0 + f1 + f2 - high - low;
    return Cell{base, t.corners[order], static_cast<uint32_t>(high), static_cast<uint32_t>(middle),
                static_cast<uint32_t>(low)};
#endif
}

// ------------------------------------------------------------------ weighing
// Lanes<N> holds N inks in 32-bit lanes: widen() reads N node bytes into
// them, narrow() gives bits 16..23 of each lane as bytes 0..N-1 of an
// integer. One plain integer at the portable level, four lanes (SSE4.1) or
// eight (AVX2) at the x86 levels.

template <int N> struct Lanes;

template <> struct Lanes<1> {
    using Wide = uint32_t;
    [[gnu::always_inline]] static void widen(const uint8_t* p, Wide& v) { v = *p; }
    [[gnu::always_inline]] static uint64_t narrow(const Wide& sum) { return (sum >> 16) & 0xff; }
#if !VREL_KERNEL_X86
    [[gnu::always_inline]] static Wide spread(const Fraction& f) {
        return f;
    }
#endif
};

#if VREL_KERNEL_X86
template <> struct Lanes<4> {
    typedef uint32_t Wide __attribute__((vector_size(16)));
    [[gnu::always_inline]] static void widen(const uint8_t* p, Wide& v) {
        int32_t bytes;
        std::memcpy(&bytes, p, 4);
        v = reinterpret_cast<Wide>(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(bytes)));
    }
    [[gnu::always_inline]] static uint64_t narrow(const Wide& sum) {
        const __m128i pick =
            _mm_setr_epi8(2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
        const __m128i bytes = _mm_shuffle_epi8(reinterpret_cast<__m128i>(sum), pick);
        return static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
    }
    [[gnu::always_inline]] static Wide spread(const Fraction& f) {
        return reinterpret_cast<Wide>(f);
    }
};
#endif

#if VREL_KERNEL_WIDE
template <> struct Lanes<8> {
    typedef uint32_t Wide __attribute__((vector_size(32)));
    [[gnu::always_inline]] static void widen(const uint8_t* p, Wide& v) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        v = reinterpret_cast<Wide>(_mm256_cvtepu8_epi32(bytes));
    }
    [[gnu::always_inline]] static uint64_t narrow(const Wide& sum) {
        // Byte 2 of each lane to bytes 0..3 of each half, halves joined.
        const __m256i pick =
            _mm256_setr_epi8(2, 6, 10, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 6, 10,
                             14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
        const __m256i bytes =
            _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(reinterpret_cast<__m256i>(sum), pick),
                                        _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1));
        uint64_t v;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&v), _mm256_castsi256_si128(bytes));
        return v;
    }
    [[gnu::always_inline]] static Wide spread(const Fraction& f) {
        return reinterpret_cast<Wide>(_mm256_broadcastsi128_si256(f));
    }
};
#endif

// The level's widest lane count, and the one for Inks inks.
#if VREL_KERNEL_WIDE
inline constexpr int kLevelLanes = 8;
#elif VREL_KERNEL_X86
inline constexpr int kLevelLanes = 4;
#else
inline constexpr int kLevelLanes = 1;
#endif
template <int Inks> constexpr int lanesFor() {
    return Inks <= 4 && kLevelLanes > 4 ? 4 : kLevelLanes;
}

// The Inks node bytes of the cell weighed: ink j in bits 8j..8j+7, the bytes
// past Inks 0. The wider levels read 4 or 8 bytes of a node; the zero slack
// after the grid keeps such a read of the far corner inside the block.
template <int Inks> [[gnu::always_inline]] inline uint64_t weigh(const Cell& s) {
    using L = Lanes<lanesFor<Inks>()>;
    constexpr int kLanes = lanesFor<Inks>();
    uint64_t inks = 0;
    for (int first = 0; first < Inks; first += kLanes) {
        const uint8_t* base = s.base + first;
        typename L::Wide p, a, b, c;
        L::widen(base, p);
        L::widen(base + s.corners[0], a);
        L::widen(base + s.corners[1], b);
        L::widen(base + s.corners[2], c);
        const typename L::Wide sum = (p << 16) + 32768u + (a - p) * L::spread(s.high) +
                                     (b - a) * L::spread(s.middle) + (c - b) * L::spread(s.low);
        inks |= L::narrow(sum) << (8 * first);
    }
    return inks & inkMask<Inks>();
}

// -------------------------------------------------------------- coordinates
// A colour's three table coordinates c, given as the byte offsets
// c * sizeof(AxisEntry) of their axis entries.

// The pre-corrected sum s (0..510) to its coordinate's axis entry offset:
// coordinate 255 - s, or 0 when s is 256 or more.
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

struct PreCorrected {
    const uint8_t* grey;
    const uint8_t (*adjust)[256];
    [[gnu::always_inline]] void operator()(uint32_t red, uint32_t green, uint32_t blue,
                                           uint32_t at[3]) const {
        const int32_t x[3] = {grey[red], grey[green], grey[blue]};
        const int32_t m = smallest(x[0], smallest(x[1], x[2]));
        const uint32_t black = adjust[3][m];
        for (int k = 0; k < 3; ++k) {
            at[k] = kFoldedAxisOffset.at[adjust[k][x[k] - m] + black];
        }
    }
};

// The correction's coordinates: its input curve on each channel.
struct InputCurved {
    const uint8_t* curve;
    [[gnu::always_inline]] void operator()(uint32_t red, uint32_t green, uint32_t blue,
                                           uint32_t at[3]) const {
        at[0] = curve[red] * uint32_t{sizeof(AxisEntry)};
        at[1] = curve[green] * uint32_t{sizeof(AxisEntry)};
        at[2] = curve[blue] * uint32_t{sizeof(AxisEntry)};
    }
};

// One new colour's inks. Inlined into the loop: a call would clobber the
// registers that hold the loop's positions and tables, which then go
// through the stack on every pixel of a photograph, where most colours are
// new.
template <int Inks, typename Coordinates>
[[gnu::always_inline]] inline uint64_t newColour(const CellTables& cells, Coordinates coordinates,
                                                 uint32_t red, uint32_t green, uint32_t blue) {
    uint32_t at[3];
    coordinates(red, green, blue, at);
    return weigh<Inks>(locate(cells, at[0], at[1], at[2]));
}

// ------------------------------------------------------------------ readers

// Red, green and blue at the input format's channel 0, 1, 2 offsets.
struct ThreeChannelReader {
    uint8_t offset0, offset1, offset2;
    // The pixel bytes it reads: true for each offset read.
    bool reads(uint32_t offset) const {
        return offset == offset0 || offset == offset1 || offset == offset2;
    }
    [[gnu::always_inline]] void operator()(const uint8_t* pixel, uint8_t rgb[3]) const {
        rgb[0] = pixel[offset0];
        rgb[1] = pixel[offset1];
        rgb[2] = pixel[offset2];
    }
};

// The first byte of the pixel, used as all three channels: a grey g and the
// colour (g, g, g) pack to the same key and share one cache entry.
struct GreyReader {
    bool reads(uint32_t offset) const { return offset == 0; }
    [[gnu::always_inline]] void operator()(const uint8_t* pixel, uint8_t rgb[3]) const {
        rgb[0] = rgb[1] = rgb[2] = pixel[0];
    }
};

// A little-endian 16-bit word with red in bits 10..14, green in 5..9 and
// blue in 0..4 (bit 15 ignored); five-bit level n widens to 8n + n/4.
struct Rgb555Reader {
    static uint8_t widen(uint32_t level) {
        return static_cast<uint8_t>((level << 3) | (level >> 2));
    }
    [[gnu::always_inline]] void operator()(const uint8_t* pixel, uint8_t rgb[3]) const {
        const uint32_t w = static_cast<uint32_t>(pixel[0]) | (static_cast<uint32_t>(pixel[1]) << 8);
        rgb[0] = widen((w >> 10) & 0x1f);
        rgb[1] = widen((w >> 5) & 0x1f);
        rgb[2] = widen(w & 0x1f);
    }
};

// -------------------------------------------------------------- key packers
// The two key layouts a context can have, with their shifts known at
// compile time (KeyLayout::pack gives the same keys), and any other layout.

// The two fixed layouts keep every bit of every channel: two colours have
// one key only when they are the same colour.
struct DefaultLayoutKey { // kernelFlags 0x08101800
    static constexpr bool kKeepsChannels = true;
    uint32_t operator()(uint32_t r, uint32_t g, uint32_t b) const {
        return b << 24 | g << 16 | r << 8;
    }
};
struct PreparedLayoutKey { // kernelFlags 0x10080000
    static constexpr bool kKeepsChannels = true;
    uint32_t operator()(uint32_t r, uint32_t g, uint32_t b) const { return r << 16 | g << 8 | b; }
};
struct AnyLayoutKey {
    KeyLayout layout;
    uint32_t operator()(uint32_t r, uint32_t g, uint32_t b) const { return layout.pack(r, g, b); }
};

// Slot of a key, computed on 16 bits: for the default layout
// (green & 0xF) << 8 | (blue & 0xF) << 4 | (red & 0xF).
[[gnu::always_inline]] inline uint32_t cacheSlot(uint32_t k) {
    return (((k >> 20) | (k << 4)) & 0x00f0u) | ((k >> 8) & 0x0f0fu);
}

// ---------------------------------------------------------------- stretches
// A stretch of one colour is found a window of pixels at a time by comparing
// the source bytes the reader reads in the window with those one pixel
// earlier: they are all equal exactly when every pixel of the window repeats
// the pixel before it. Used where a key repeats exactly when the colour
// does (the fixed layouts) and the reader reads whole bytes of its pixel.

// One vector of the level: 32, 16 or (a 64-bit word) 8 bytes.
inline constexpr int32_t kWindowBytes = kLevelLanes == 1 ? 8 : 4 * kLevelLanes;

struct StretchWindow {
    StretchWindow() = default;
    alignas(32) uint8_t mask[kWindowBytes] = {};
    uint32_t step = 0;
    int32_t pixels = 0;    // whole pixels in a window; 0 where not usable
    uint32_t lastRead = 0; // offset of the last byte a pixel reads

    template <typename Reader>
    StretchWindow(const Reader& read, uint32_t pixelStep) : step(pixelStep) {
        for (uint32_t o = 0; o < 4; ++o) {
            lastRead = read.reads(o) ? o : lastRead;
        }
        // Pixels that overlap their neighbours, or a step beyond the window,
        // are left to the key loop.
        if (step == 0 || lastRead >= step || step > static_cast<uint32_t>(kWindowBytes)) {
            return;
        }
        for (uint32_t q = 0; q * step + lastRead < static_cast<uint32_t>(kWindowBytes); ++q) {
            for (uint32_t o = 0; o <= lastRead; ++o) {
                mask[q * step + o] = read.reads(o) ? 0xff : 0;
            }
            ++pixels;
        }
    }

    // Whether a window starting at pixel `first` of a run of n pixels from
    // `pixel` reads only bytes of the run's pixels.
    bool fits(int32_t first, int32_t n) const {
        return static_cast<int64_t>(n - 1 - first) * step + lastRead >=
               static_cast<int64_t>(kWindowBytes) - 1;
    }

    // Whether the window of pixels from p repeats the pixel before p.
    bool repeats(const uint8_t* p) const {
#if VREL_KERNEL_WIDE
        const __m256i now = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - step));
        return _mm256_testz_si256(_mm256_xor_si256(now, before),
                                  _mm256_load_si256(reinterpret_cast<const __m256i*>(mask)));
#elif VREL_KERNEL_X86
        const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - step));
        return _mm_testz_si128(_mm_xor_si128(now, before),
                               _mm_load_si128(reinterpret_cast<const __m128i*>(mask)));
#else
        uint64_t now, before, m;
        std::memcpy(&now, p, 8);
        std::memcpy(&before, p - step, 8);
        std::memcpy(&m, mask, 8);
        return ((now ^ before) & m) == 0;
#endif
    }
};

// count copies of a four-byte pixel from p on, a window's worth per store.
inline void fillWords(uint8_t* p, uint32_t word, int32_t count) {
    int32_t i = 0;
#if VREL_KERNEL_WIDE
    const __m256i words = _mm256_set1_epi32(static_cast<int32_t>(word));
    for (; i + 8 <= count; i += 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 4 * static_cast<size_t>(i)), words);
    }
#elif VREL_KERNEL_X86
    const __m128i words = _mm_set1_epi32(static_cast<int32_t>(word));
    for (; i + 4 <= count; i += 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4 * static_cast<size_t>(i)), words);
    }
#else
    const uint64_t words = word * 0x0000000100000001u;
    for (; i + 2 <= count; i += 2) {
        std::memcpy(p + 4 * static_cast<size_t>(i), &words, 8);
    }
#endif
    for (; i < count; ++i) {
        std::memcpy(p + 4 * static_cast<size_t>(i), &word, 4);
    }
}

// ------------------------------------------------------------------ writers
// Each takes the packed result (ink j in bits 8j..8j+7).

// Inks at the output format's channel offsets, one byte at a time.
template <int Inks> struct PackedValueWriter {
    uint8_t* destination;
    uint32_t step;
    uint8_t offset[Inks];
    void operator()(uint64_t inks) {
        for (int j = 0; j < Inks; ++j) {
            destination[offset[j]] = static_cast<uint8_t>(inks >> (8 * j));
        }
        destination += step;
    }
};

// Inks in order at offsets 0..Inks-1 (Cmyk32, Ink6, Ink7): one copy.
template <int Inks> struct InOrderValueWriter {
    uint8_t* destination;
    uint32_t step;
    void operator()(uint64_t inks) {
        if constexpr (Inks > 4) {
            // Bytes 0..3 and Inks-4..Inks-1 as two four-byte stores that
            // overlap (both write the same inks there), never outside the
            // pixel's own bytes: cheaper than a 4 + 2 or 4 + 2 + 1 split.
            const uint32_t low = littleEndianBytes(static_cast<uint32_t>(inks));
            const uint32_t high =
                littleEndianBytes(static_cast<uint32_t>(inks >> (8 * (Inks - 4))));
            std::memcpy(destination, &low, 4);
            std::memcpy(destination + (Inks - 4), &high, 4);
        } else {
            const uint64_t bytes = littleEndianBytes(inks);
            std::memcpy(destination, &bytes, Inks);
        }
        destination += step;
    }
    void fill(uint64_t inks, int32_t count) {
        if (Inks == 4 && step == 4) {
            fillWords(destination, littleEndianBytes(static_cast<uint32_t>(inks)), count);
            destination += 4 * static_cast<size_t>(count);
        } else {
            for (int32_t i = 0; i < count; ++i) {
                (*this)(inks);
            }
        }
    }
};

// Four inks in reverse order (Kymc32): one byte-swapped store.
struct ReversedFourValueWriter {
    uint8_t* destination;
    uint32_t step;
    void operator()(uint64_t inks) {
        const uint32_t bytes = littleEndianBytes(__builtin_bswap32(static_cast<uint32_t>(inks)));
        std::memcpy(destination, &bytes, 4);
        destination += step;
    }
    void fill(uint64_t inks, int32_t count) {
        if (step == 4) {
            fillWords(destination,
                      littleEndianBytes(__builtin_bswap32(static_cast<uint32_t>(inks))), count);
            destination += 4 * static_cast<size_t>(count);
        } else {
            for (int32_t i = 0; i < count; ++i) {
                (*this)(inks);
            }
        }
    }
};

// Black folded back into the three colours: 255 - min(255, ink + black), at
// the output format's channel 0, 1, 2 offsets.
struct FoldedRgbValueWriter {
    uint8_t* destination;
    uint32_t step;
    uint8_t offset[3];
    void operator()(uint64_t inks) {
        const uint32_t black = static_cast<uint32_t>(inks >> 24) & 0xff;
        for (int j = 0; j < 3; ++j) {
            const uint32_t sum = (static_cast<uint32_t>(inks >> (8 * j)) & 0xff) + black;
            destination[offset[j]] = static_cast<uint8_t>(255 - (sum < 255 ? sum : 255));
        }
        destination += step;
    }
};

// n bytes of value at p. Stretches on text are a few pixels long, where a
// memset call per plane would cost more than the pixels: up to 15 bytes are
// two overlapping stores of the widest size that fits, inside the n bytes.
inline void fillBytes(uint8_t* p, uint8_t value, int32_t n) {
    const uint64_t bytes = value * 0x0101010101010101u;
    if (n >= 16) {
        std::memset(p, value, static_cast<size_t>(n));
    } else if (n >= 8) {
        std::memcpy(p, &bytes, 8);
        std::memcpy(p + n - 8, &bytes, 8);
    } else if (n >= 4) {
        std::memcpy(p, &bytes, 4);
        std::memcpy(p + n - 4, &bytes, 4);
    } else if (n >= 2) {
        std::memcpy(p, &bytes, 2);
        std::memcpy(p + n - 2, &bytes, 2);
    } else if (n == 1) {
        *p = value;
    }
}

// Ink i to plane i. Results are staged as whole values and spread over the
// planes a block of pixels at a time: one 8-byte store per pixel in the
// loop instead of Inks byte stores through Inks moving pointers, which on
// six and seven planes cost more than the interpolation saves. The loop
// calls flush() once the run ends.
template <int Inks> struct PlaneValueWriter {
    static constexpr int32_t kStagePixels = 64;
    uint8_t* plane[Inks];
    int32_t staged = 0;
    uint64_t stage[kStagePixels];

    void operator()(uint64_t inks) {
        stage[staged++] = inks;
        if (staged == kStagePixels) {
            flush();
        }
    }
    // count pixels of one result: one fill per plane (after the staged
    // pixels, which come first in the line).
    void fill(uint64_t inks, int32_t count) {
        flush();
        for (int j = 0; j < Inks; ++j) {
            fillBytes(plane[j], static_cast<uint8_t>(inks >> (8 * j)), count);
            plane[j] += count;
        }
    }
    void flush() {
        int32_t i = 0;
#if VREL_KERNEL_X86
        for (; i + 8 <= staged; i += 8) {
            spreadEight(stage + i, i);
        }
#endif
        for (; i < staged; ++i) {
            for (int j = 0; j < Inks; ++j) {
                plane[j][i] = static_cast<uint8_t>(stage[i] >> (8 * j));
            }
        }
        for (int j = 0; j < Inks; ++j) {
            plane[j] += staged;
        }
        staged = 0;
    }

  private:
#if VREL_KERNEL_X86
    // Eight staged pixels into eight bytes of each plane: a transpose of
    // the 8 x 8 byte block in three rounds of interleaving.
    void spreadEight(const uint64_t* values, int32_t at) {
        const __m128i* v = reinterpret_cast<const __m128i*>(values);
        __m128i pair[4]; // pixels 2k and 2k+1 interleaved, ink by ink
        for (int k = 0; k < 4; ++k) {
            const __m128i two = _mm_loadu_si128(v + k);
            pair[k] = _mm_unpacklo_epi8(two, _mm_srli_si128(two, 8));
        }
        const __m128i inks03a = _mm_unpacklo_epi16(pair[0], pair[1]); // pixels 0-3, inks 0-3
        const __m128i inks47a = _mm_unpackhi_epi16(pair[0], pair[1]); // pixels 0-3, inks 4-7
        const __m128i inks03b = _mm_unpacklo_epi16(pair[2], pair[3]); // pixels 4-7, inks 0-3
        const __m128i inks47b = _mm_unpackhi_epi16(pair[2], pair[3]); // pixels 4-7, inks 4-7
        const __m128i rows[4] = {
            _mm_unpacklo_epi32(inks03a, inks03b), // inks 0, 1
            _mm_unpackhi_epi32(inks03a, inks03b), // inks 2, 3
            _mm_unpacklo_epi32(inks47a, inks47b), // inks 4, 5
            _mm_unpackhi_epi32(inks47a, inks47b), // inks 6, 7
        };
        for (int j = 0; j < Inks; ++j) {
            const __m128i row = (j & 1) ? _mm_srli_si128(rows[j / 2], 8) : rows[j / 2];
            _mm_storel_epi64(reinterpret_cast<__m128i*>(plane[j] + at), row);
        }
    }
#endif
};

// The correction's writers put the three channels back into a pixel of the
// source's format; the destination may be the source itself, so the loop
// reads no pixel ahead of the one it writes.
struct ByteChannelWriter {
    static constexpr bool kInPlace = true;
    uint8_t* destination;
    uint32_t step;
    uint8_t offset[3];
    // In channel order, so a one-byte pixel ends holding channel 2.
    void operator()(uint64_t rgb) {
        for (int j = 0; j < 3; ++j) {
            destination[offset[j]] = static_cast<uint8_t>(rgb >> (8 * j));
        }
        destination += step;
    }
};
struct Rgb555Writer {
    static constexpr bool kInPlace = true;
    uint8_t* destination;
    uint32_t step;
    // Bit 15 is written as 0.
    void operator()(uint64_t rgb) {
        const uint32_t w = ((static_cast<uint32_t>(rgb) & 0xf8u) << 7) |
                           ((static_cast<uint32_t>(rgb >> 8) & 0xf8u) << 2) |
                           ((static_cast<uint32_t>(rgb >> 16) & 0xffu) >> 3);
        destination[0] = static_cast<uint8_t>(w & 0xff);
        destination[1] = static_cast<uint8_t>(w >> 8);
        destination += step;
    }
};

// Writes count pixels of one result: the writer's own fill where it has one,
// else one pixel at a time.
template <typename Writer> inline void writeRepeated(Writer& write, uint64_t inks, int32_t count) {
    if constexpr (requires { write.fill(inks, count); }) {
        write.fill(inks, count);
    } else {
        for (int32_t i = 0; i < count; ++i) {
            write(inks);
        }
    }
}

// ---------------------------------------------------------------------- loop

// The interpolating loop. Each pixel's key is compared with the previous
// pixel's (the register, which starts at the empty cache key holding
// `initial`); a changed key is looked up in the cache, and only a miss
// locates and weighs the colour, storing the result in the key's slot.
// The cache is left as one lookup per changed key leaves it: entries
// written only on a miss, lastSlot the slot of the last lookup.
//
// A pixel that repeats the previous key is written from the register with
// no further work: on flat pages that is nearly every pixel, and the branch
// is predictable both there (long stretches of one colour) and in
// photographs (almost never taken). Unless the writer may write over the
// source, such a pixel starts a stretch: the following pixels are keyed
// while they repeat the key (keys, not source bytes, because a layout may
// give different colours one key), and the whole stretch is written at once
// (writeRepeated), which for planes is one fill per plane.
template <int Inks, typename Entry, typename Packer, typename Coordinates, typename Reader,
          typename Writer>
void interpolateRun(const CellTables& cells, ColourCache<Entry>* cache, Packer pack,
                    Coordinates coordinates, uint64_t initial, const uint8_t* source, uint32_t step,
                    int32_t n, Reader read, Writer& writer) {
    // The writer's positions live in a local copy for the call: the byte
    // stores through them could otherwise alias the caller's object and
    // force a reload and store of every position after every pixel.
    Writer write = writer;
    constexpr size_t kValueBytes = sizeof(Entry::value);
    static_assert(kValueBytes == 4 || kValueBytes == 8);
    static_assert(Inks <= static_cast<int>(kValueBytes));
    using Value = std::conditional_t<kValueBytes == 4, uint32_t, uint64_t>;
    constexpr bool kInPlace = requires {
        Writer::kInPlace;
    };

    constexpr bool kWindowed = !kInPlace && requires {
        Packer::kKeepsChannels;
        read.reads(0);
    };
    StretchWindow window{};
    if constexpr (kWindowed) {
        window = StretchWindow(read, step);
    }

    uint32_t previousKey = kEmptyCacheKey;
    uint64_t result = initial; // bytes past Inks stay 0
    int32_t lastSlot = -1;
    for (int32_t i = 0; i < n; ++i, source += step) {
        uint8_t rgb[3];
        read(source, rgb);
        const uint32_t key = pack(rgb[0], rgb[1], rgb[2]);
        if (key == previousKey) {
            if constexpr (kInPlace) {
                write(result);
            } else {
                int32_t end = i + 1;
                const uint8_t* next = source + step;
                if constexpr (kWindowed) {
                    while (window.pixels > 0 && window.fits(end, n) && window.repeats(next)) {
                        end += window.pixels;
                        next += static_cast<size_t>(window.pixels) * step;
                    }
                }
                for (; end < n; ++end, next += step) {
                    read(next, rgb);
                    if (pack(rgb[0], rgb[1], rgb[2]) != key) {
                        break;
                    }
                }
                writeRepeated(write, result, end - i);
                // Continue with the pixel that ended the stretch (read again).
                source += static_cast<size_t>(end - i - 1) * step;
                i = end - 1;
            }
            continue;
        }
        previousKey = key;
        const uint32_t slot = cacheSlot(key);
        Entry& entry = cache->entries[slot];
        lastSlot = static_cast<int32_t>(slot);
        if (entry.key != key) {
            result = newColour<Inks>(cells, coordinates, rgb[0], rgb[1], rgb[2]);
            entry.key = key;
            const Value stored = littleEndianBytes(static_cast<Value>(result));
            std::memcpy(entry.value, &stored, kValueBytes);
        } else {
            Value stored;
            std::memcpy(&stored, entry.value, kValueBytes);
            result = littleEndianBytes(stored) & inkMask<Inks>();
        }
        write(result);
    }
    if (lastSlot >= 0) {
        cache->lastSlot = static_cast<int16_t>(lastSlot);
    }
    if constexpr (requires { write.flush(); }) {
        write.flush();
    }
    writer = write;
}

// The key layout is chosen once per call.
template <int Inks, typename Entry, typename Coordinates, typename Reader, typename Writer>
void interpolateInLayout(const LutBlock* lut, ColourCache<Entry>* cache, KeyLayout layout,
                         Coordinates coordinates, uint64_t initial, const uint8_t* source,
                         uint32_t step, int32_t n, Reader read, Writer& write) {
    if (n <= 0) {
        return;
    }
    const CellTables cells(lut);
    if (layout.shift0 == 8 && layout.shift1 == 16 && layout.shift2 == 24) {
        interpolateRun<Inks>(cells, cache, DefaultLayoutKey{}, coordinates, initial, source, step,
                             n, read, write);
    } else if (layout.shift0 == 16 && layout.shift1 == 8 && layout.shift2 == 0) {
        interpolateRun<Inks>(cells, cache, PreparedLayoutKey{}, coordinates, initial, source, step,
                             n, read, write);
    } else {
        interpolateRun<Inks>(cells, cache, AnyLayoutKey{layout}, coordinates, initial, source, step,
                             n, read, write);
    }
}

// A conversion: pre-corrected coordinates, the register starting at 0; the
// reader is chosen once per call.
template <int Inks, typename Entry, typename Writer>
void convertRun(const InterpolationTables<Entry>& t, const SourceRun& run,
                const PixelReading& reading, Writer& write) {
    const PreCorrected coordinates{t.curves.grey, t.curves.adjust};
    if (reading.grey) {
        interpolateInLayout<Inks>(t.lut, t.cache, t.layout, coordinates, 0, run.first, run.step,
                                  run.count, GreyReader{}, write);
    } else {
        const ThreeChannelReader read{reading.offset[0], reading.offset[1], reading.offset[2]};
        interpolateInLayout<Inks>(t.lut, t.cache, t.layout, coordinates, 0, run.first, run.step,
                                  run.count, read, write);
    }
}

bool hasOffsets(const InkWriting& w, int first, int delta) {
    for (int j = 0; j < w.inks; ++j) {
        if (w.offset[j] != first + delta * j) {
            return false;
        }
    }
    return true;
}

// Packed pixels or planes of Inks inks, ComputeInks of them interpolated.
template <int Inks, int ComputeInks, typename Entry>
void writeInks(const InterpolationTables<Entry>& t, const SourceRun& run, const PixelReading& read,
               const InkWriting& w) {
    if (w.kind == InkWriting::Planes) {
        PlaneValueWriter<Inks> write{};
        std::memcpy(write.plane, w.planes, sizeof write.plane);
        convertRun<ComputeInks>(t, run, read, write);
    } else if (hasOffsets(w, 0, 1)) {
        InOrderValueWriter<Inks> write{w.destination, w.step};
        convertRun<ComputeInks>(t, run, read, write);
    } else if (Inks == 4 && hasOffsets(w, 3, -1)) {
        ReversedFourValueWriter write{w.destination, w.step};
        convertRun<ComputeInks>(t, run, read, write);
    } else {
        PackedValueWriter<Inks> write{w.destination, w.step, {}};
        std::memcpy(write.offset, w.offset, Inks);
        convertRun<ComputeInks>(t, run, read, write);
    }
}

// ------------------------------------------------------------ entry points

void fourInks(const InterpolationTables<CacheEntry8>& t, const SourceRun& run,
              const PixelReading& read, const InkWriting& w) {
    if (w.kind == InkWriting::FoldedRgb) {
        FoldedRgbValueWriter write{w.destination, w.step, {w.offset[0], w.offset[1], w.offset[2]}};
        convertRun<4>(t, run, read, write);
    } else {
        writeInks<4, 4>(t, run, read, w);
    }
}

void multiInks(const InterpolationTables<CacheEntry12>& t, int computeInks, const SourceRun& run,
               const PixelReading& read, const InkWriting& w) {
    if (w.inks == 7) {
        writeInks<7, 7>(t, run, read, w);
    } else if (computeInks == 7) {
        writeInks<6, 7>(t, run, read, w);
    } else {
        writeInks<6, 6>(t, run, read, w);
    }
}

// The pre-corrected coordinates c0, c1, c2 alone, without table or cache.
// Its register starts at the empty key with the values 255, 255, 255, so a
// first white pixel yields 255, 255, 255.
void preCorrectionOnly(const PreCorrectionCurves& curves, KeyLayout layout, const SourceRun& run,
                       const PixelReading& reading, const InkWriting& w) {
    const PreCorrected coordinates{curves.grey, curves.adjust};
    const ThreeChannelReader read{reading.offset[0], reading.offset[1], reading.offset[2]};
    PackedValueWriter<3> write{w.destination, w.step, {w.offset[0], w.offset[1], w.offset[2]}};
    uint32_t previousKey = kEmptyCacheKey;
    uint64_t result = 0xffffff;
    const uint8_t* source = run.first;
    for (int32_t i = 0; i < run.count; ++i, source += run.step) {
        uint8_t rgb[3];
        read(source, rgb);
        const uint32_t key = layout.pack(rgb[0], rgb[1], rgb[2]);
        if (key != previousKey) {
            previousKey = key;
            uint32_t at[3];
            coordinates(rgb[0], rgb[1], rgb[2], at);
            constexpr uint32_t kEntry = sizeof(AxisEntry);
            result = at[0] / kEntry | (at[1] / kEntry) << 8 | (at[2] / kEntry) << 16;
        }
        write(result);
    }
}

// Colour correction: the input curve's coordinates, three channels, the
// register starting at white (255, 255, 255).
void correct(const CorrectionTables& t, const CorrectedPixels& pixels, const uint8_t* source,
             uint8_t* destination, uint32_t step, int32_t n) {
    const InputCurved coordinates{t.inputCurve};
    constexpr uint64_t kWhite = 0xffffff;
    if (pixels.rgb555) {
        Rgb555Writer write{destination, step};
        interpolateInLayout<3>(t.lut, t.cache, t.layout, coordinates, kWhite, source, step, n,
                               Rgb555Reader{}, write);
    } else {
        const ThreeChannelReader read{pixels.offset[0], pixels.offset[1], pixels.offset[2]};
        ByteChannelWriter write{
            destination, step, {pixels.offset[0], pixels.offset[1], pixels.offset[2]}};
        interpolateInLayout<3>(t.lut, t.cache, t.layout, coordinates, kWhite, source, step, n, read,
                               write);
    }
}

// The on-dot rules over the level's widest block.
#if VREL_KERNEL_WIDE
using OnDotBlock = ondot::VectorBlock32;
#elif VREL_HAS_VECTOR_BLOCKS
using OnDotBlock = ondot::VectorBlock16;
#else
using OnDotBlock = ondot::WordBlock;
#endif

void invertRange(uint8_t* plane, const ondot::BitRange& range) {
    ondot::invertRange<OnDotBlock>(plane, range);
}

void fourColourRange(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, int32_t lineBytes,
                     const ondot::BitRange& range) {
    ondot::fourColourRange<OnDotBlock>(c, m, y, k, lineBytes, range);
}

} // namespace

extern const KernelSet VREL_KERNEL_SET;
const KernelSet VREL_KERNEL_SET = {VREL_KERNEL_ISA, fourInks,    multiInks,      preCorrectionOnly,
                                   correct,         invertRange, fourColourRange};

} // namespace vrel
