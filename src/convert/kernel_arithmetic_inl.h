// The arithmetic of a new colour (pre-correction, locating, weighing).
// Part of the one kernel source, kernels_inl.h, which includes it inside its
// namespace once per instruction-set level; see there.

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

#if !VREL_KERNEL_X86
template <> struct Lanes<1> {
    using Wide = uint32_t;
    [[gnu::always_inline]] static void widen(const uint8_t* p, Wide& v) { v = *p; }
    [[gnu::always_inline]] static uint64_t narrow(const Wide& sum) { return (sum >> 16) & 0xff; }
    [[gnu::always_inline]] static Wide spread(const Fraction& f) { return f; }
};
#else
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
