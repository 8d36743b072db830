// The production form of the interpolating conversion loop: interpolateRun
// of interpolation_kernel.h with the result bytes kept packed in one integer
// (ink j in bits 8j..8j+7) from the cache or the interpolation to the
// destination, the tetrahedron found without branches and all inks of a
// node interpolated at once (interpolation_packed.h). It reads and writes
// exactly what interpolateRun does, in the same order of cache lookups and
// stores, and leaves the cache (entries and lastSlot) in the same state;
// interpolateRun stays the reference it is tested against.
//
// Building with -DVREL_SCALAR_KERNELS makes the members run the reference
// loop instead (see four_ink_kernels.cpp, multi_ink_kernels.cpp).
#pragma once

#include "convert/colour_cache.h"
#include "convert/colour_precorrection.h"
#include "convert/interpolation_kernel.h"
#include "convert/interpolation_packed.h"
#include "convert/kernel_isa.h"
#include "convert/new_colour_path.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vrel {

// ---------------------------------------------------------------- writers
// Each takes the packed result; Inks bytes of it reach the destination.

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
            const uint32_t low = packed::littleEndianBytes(static_cast<uint32_t>(inks));
            const uint32_t high =
                packed::littleEndianBytes(static_cast<uint32_t>(inks >> (8 * (Inks - 4))));
            std::memcpy(destination, &low, 4);
            std::memcpy(destination + (Inks - 4), &high, 4);
        } else {
            const uint64_t bytes = packed::littleEndianBytes(inks);
            std::memcpy(destination, &bytes, Inks);
        }
        destination += step;
    }
};

// Four inks in reverse order (Kymc32): one byte-swapped store.
struct ReversedFourValueWriter {
    uint8_t* destination;
    uint32_t step;
    void operator()(uint64_t inks) {
        const uint32_t bytes =
            packed::littleEndianBytes(__builtin_bswap32(static_cast<uint32_t>(inks)));
        std::memcpy(destination, &bytes, 4);
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
#if defined(__SSE2__)
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
#if defined(__SSE2__)
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

// Black folded back into the three colours (as FoldedRgbWriter).
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

// ------------------------------------------------------------ key packers
// The two key layouts a context can have, with their shifts known at
// compile time (KeyLayout::pack gives the same keys), and any other layout.

struct DefaultLayoutKey { // kernelFlags 0x08101800
    uint32_t operator()(uint32_t r, uint32_t g, uint32_t b) const {
        return b << 24 | g << 16 | r << 8;
    }
};
struct PreparedLayoutKey { // kernelFlags 0x10080000
    uint32_t operator()(uint32_t r, uint32_t g, uint32_t b) const { return r << 16 | g << 8 | b; }
};
struct AnyLayoutKey {
    KeyLayout layout;
    uint32_t operator()(uint32_t r, uint32_t g, uint32_t b) const { return layout.pack(r, g, b); }
};

// ------------------------------------------------------------------- loop

// A pixel that repeats the previous key is written from the register with
// no further work: on flat pages that is nearly every pixel, and the branch
// is predictable both there (long stretches of one colour) and in
// photographs (almost never taken). Such a pixel starts a stretch: the
// following pixels are keyed while they repeat the key (keys, not source
// bytes, because a layout may give different colours one key), and the
// whole stretch is written at once (writeRepeated), which for planes is one
// fill per plane. Repeats touch no cache, so only the output sees it.
// A changed key is looked up; only a miss branches off to interpolate. The
// cache is written only on a miss and lastSlot only at the end, with the
// slot of the last real lookup.
template <int ComputeInks, KernelIsa Isa, typename Entry, typename Packer, typename Reader,
          typename Writer>
inline void packedPixels(const InterpolationTables<Entry>& tables, Packer pack,
                         const uint8_t* source, uint32_t step, int32_t n, Reader read,
                         Writer& writer) {
    // The writer's positions live in a local copy for the call: the byte
    // stores through them could otherwise alias the caller's object and
    // force a reload and store of every position after every pixel.
    Writer write = writer;
    constexpr size_t kValueBytes = sizeof(Entry::value);
    static_assert(kValueBytes == 4 || kValueBytes == 8);
    static_assert(ComputeInks <= static_cast<int>(kValueBytes));
    using Value = std::conditional_t<kValueBytes == 4, uint32_t, uint64_t>;
    constexpr uint64_t kComputedBytes = (uint64_t{1} << (8 * ComputeInks)) - 1;

    ColourCache<Entry>* const cache = tables.cache;
    const NewColourTables newColour(tables.lut, tables.curves);

    uint32_t previousKey = kEmptyCacheKey;
    uint64_t result = 0; // the previous pixel's inks; bytes past ComputeInks stay 0
    int32_t lastSlot = -1;
    for (int32_t i = 0; i < n; ++i, source += step) {
        uint8_t rgb[3];
        read(source, rgb);
        const uint32_t key = pack(rgb[0], rgb[1], rgb[2]);
        if (key == previousKey) {
            int32_t end = i + 1;
            for (const uint8_t* next = source + step; end < n; ++end, next += step) {
                read(next, rgb);
                if (pack(rgb[0], rgb[1], rgb[2]) != key) {
                    break;
                }
            }
            writeRepeated(write, result, end - i);
            // Continue with the pixel that ended the stretch (read again).
            source += static_cast<size_t>(end - i - 1) * step;
            i = end - 1;
            continue;
        }
        previousKey = key;
        const uint32_t slot = cacheSlotIndex(key);
        Entry& entry = cache->entries[slot];
        lastSlot = static_cast<int32_t>(slot);
        if (entry.key != key) {
            result = newColourInks<ComputeInks, Isa>(newColour, rgb[0], rgb[1], rgb[2]);
            entry.key = key;
            const Value stored = packed::littleEndianBytes(static_cast<Value>(result));
            std::memcpy(entry.value, &stored, kValueBytes);
        } else {
            Value stored;
            std::memcpy(&stored, entry.value, kValueBytes);
            result = packed::littleEndianBytes(stored) & kComputedBytes;
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

// The key layout and the new-colour level are chosen once per call.
template <int ComputeInks, KernelIsa Isa, typename Entry, typename Reader, typename Writer>
inline void packedPixelsOfLayout(const InterpolationTables<Entry>& tables, const uint8_t* source,
                                 uint32_t step, int32_t n, Reader read, Writer& write) {
    const KeyLayout& k = tables.layout;
    if (k.shift0 == 8 && k.shift1 == 16 && k.shift2 == 24) {
        packedPixels<ComputeInks, Isa>(tables, DefaultLayoutKey{}, source, step, n, read, write);
    } else if (k.shift0 == 16 && k.shift1 == 8 && k.shift2 == 0) {
        packedPixels<ComputeInks, Isa>(tables, PreparedLayoutKey{}, source, step, n, read, write);
    } else {
        packedPixels<ComputeInks, Isa>(tables, AnyLayoutKey{k}, source, step, n, read, write);
    }
}

template <int ComputeInks, typename Entry, typename Reader, typename Writer>
inline void interpolateRunPacked(const InterpolationTables<Entry>& tables, const uint8_t* source,
                                 uint32_t step, int32_t n, Reader read, Writer& write) {
    if (n <= 0) {
        return;
    }
#ifdef VREL_X86_KERNELS
    switch (kernelIsa()) {
    case KernelIsa::Avx2:
        return packedPixelsOfLayout<ComputeInks, KernelIsa::Avx2>(tables, source, step, n, read,
                                                                  write);
    case KernelIsa::Sse41:
        return packedPixelsOfLayout<ComputeInks, KernelIsa::Sse41>(tables, source, step, n, read,
                                                                   write);
    case KernelIsa::Portable:
        break;
    }
#endif
    packedPixelsOfLayout<ComputeInks, KernelIsa::Portable>(tables, source, step, n, read, write);
}

} // namespace vrel
