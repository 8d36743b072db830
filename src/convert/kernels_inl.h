// The one source of the interpolating kernels and the on-dot rules, with its
// two parts kernel_arithmetic_inl.h (a new colour's arithmetic) and
// kernel_pixels_inl.h (readers, key packers, stretches, writers). It is
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

#include "convert/kernel_arithmetic_inl.h"
#include "convert/kernel_pixels_inl.h"

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
// source, such a pixel starts a stretch: it is extended a window of source
// bytes at a time where the key layout allows (see StretchWindow), then
// while the following pixels' keys repeat the key (keys, not source bytes,
// because another layout may give different colours one key), and the whole
// stretch is written at once (writeRepeated), which for planes is one fill
// per plane.
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
        window = StretchWindow(read, step, n);
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
                    while (end <= window.lastStart && window.repeats(next)) {
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
