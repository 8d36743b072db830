// Reading, keying and writing pixels, and finding stretches of one colour.
// Part of the one kernel source, kernels_inl.h, which includes it inside its
// namespace once per instruction-set level; see there.

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
    int32_t pixels = 0;     // whole pixels in a window
    int32_t lastStart = -1; // the last pixel of the run a window may start at
    uint32_t lastRead = 0;  // offset of the last byte a pixel reads

    template <typename Reader>
    StretchWindow(const Reader& read, uint32_t pixelStep, int32_t n) : step(pixelStep) {
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
        // A window from pixel f reads up to byte f * step + kWindowBytes - 1,
        // which must not pass the last byte read of pixel n - 1.
        const uint32_t reach = (kWindowBytes - 1 - lastRead + step - 1) / step;
        lastStart = n - 1 - static_cast<int32_t>(reach);
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
    // A four-ink pixel as the four bytes it is stored as.
    uint32_t word(uint64_t inks) const requires(Inks == 4) {
        return littleEndianBytes(static_cast<uint32_t>(inks));
    }
};

// Four inks in reverse order (Kymc32): one byte-swapped store.
struct ReversedFourValueWriter {
    uint8_t* destination;
    uint32_t step;
    uint32_t word(uint64_t inks) const {
        return littleEndianBytes(__builtin_bswap32(static_cast<uint32_t>(inks)));
    }
    void operator()(uint64_t inks) {
        const uint32_t bytes = word(inks);
        std::memcpy(destination, &bytes, 4);
        destination += step;
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
// wide stores of the pixel's four bytes where they follow each other, else
// one pixel at a time.
template <typename Writer> inline void writeRepeated(Writer& write, uint64_t inks, int32_t count) {
    if constexpr (requires { write.fill(inks, count); }) {
        write.fill(inks, count);
        return;
    } else if constexpr (requires { write.word(inks); }) {
        if (write.step == 4) {
            fillWords(write.destination, write.word(inks), count);
            write.destination += 4 * static_cast<size_t>(count);
            return;
        }
    }
    for (int32_t i = 0; i < count; ++i) {
        write(inks);
    }
}
