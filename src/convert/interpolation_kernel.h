// The one interpolating conversion loop. Every member of the four-, six- and
// seven-ink families is an instantiation of interpolateRun with a pixel
// reader (three channels at given offsets, or one grey byte), an ink count
// and a writer (packed pixel, planes, or three folded channels); the member
// that only pre-corrects is preCorrectionRun. Readers and writers are plain
// inline functors, so the per-pixel loop holds no call and no branch on the
// format: everything the loop needs is fetched once per call.
//
// Kept scalar on purpose: this is the reference path that faster variants of
// the loop must match byte for byte.
#pragma once

#include "convert/colour_cache.h"
#include "convert/colour_precorrection.h"
#include "convert/interpolation.h"
#include "resources/lut_block.h"

#include <cstdint>
#include <cstring>

namespace vrel {

// Everything an interpolating member reads, fetched once per call.
template <typename Entry> struct InterpolationTables {
    const LutBlock* lut = nullptr;
    ColourCache<Entry>* cache = nullptr;
    PreCorrectionCurves curves{};
    KeyLayout layout{0u};
};

// ---------------------------------------------------------------- readers

// Red, green and blue at the input format's channel 0, 1, 2 offsets.
struct ThreeChannelReader {
    uint8_t offset0, offset1, offset2;
    void operator()(const uint8_t* pixel, uint8_t rgb[3]) const {
        rgb[0] = pixel[offset0];
        rgb[1] = pixel[offset1];
        rgb[2] = pixel[offset2];
    }
};

// The first byte of the pixel, used as all three channels: a grey g and the
// colour (g, g, g) pack to the same key and share one cache entry.
struct GreyReader {
    void operator()(const uint8_t* pixel, uint8_t rgb[3]) const {
        rgb[0] = rgb[1] = rgb[2] = pixel[0];
    }
};

// ---------------------------------------------------------------- writers

// Inks 0..Inks-1 at the output format's channel offsets of one packed pixel;
// the pixel's other bytes are left alone.
template <int Inks> struct PackedInkWriter {
    uint8_t* destination;
    uint32_t step;
    uint8_t offset[Inks];
    void operator()(const uint8_t* inks) {
        for (int j = 0; j < Inks; ++j) {
            destination[offset[j]] = inks[j];
        }
        destination += step;
    }
};

// Ink i to the current byte of plane i.
template <int Inks> struct PlaneWriter {
    uint8_t* plane[Inks];
    void operator()(const uint8_t* inks) {
        for (int j = 0; j < Inks; ++j) {
            *plane[j]++ = inks[j];
        }
    }
};

// Black folded back into the three colours: 255 - min(255, ink + black), at
// the output format's channel 0, 1, 2 offsets.
struct FoldedRgbWriter {
    uint8_t* destination;
    uint32_t step;
    uint8_t offset[3];
    void operator()(const uint8_t* inks) {
        const uint32_t black = inks[3];
        for (int j = 0; j < 3; ++j) {
            const uint32_t sum = inks[j] + black;
            destination[offset[j]] = static_cast<uint8_t>(255 - (sum < 255 ? sum : 255));
        }
        destination += step;
    }
};

// ------------------------------------------------------------------ loops

// Converts n pixels (none when n <= 0). ComputeInks node bytes are
// interpolated and cached; the writer decides which of them reach the
// destination. The previous-pixel register starts at the empty cache key
// with all result bytes 0, so with the default key layout a run that starts
// with white writes the zero result without touching cache or table.
template <int ComputeInks, typename Entry, typename Reader, typename Writer>
inline void interpolateRun(const InterpolationTables<Entry>& tables, const uint8_t* source,
                           uint32_t step, int32_t n, Reader read, Writer& write) {
    static_assert(ComputeInks <= static_cast<int>(sizeof(Entry::value)));
    const LutBlock* const lut = tables.lut;
    ColourCache<Entry>* const cache = tables.cache;
    const PreCorrectionCurves curves = tables.curves;
    const KeyLayout layout = tables.layout;

    uint32_t previousKey = kEmptyCacheKey;
    // Bytes past ComputeInks never change: they are the zero tail of every
    // entry this loop stores.
    uint8_t result[sizeof(Entry::value)] = {};
    for (int32_t i = 0; i < n; ++i, source += step) {
        uint8_t rgb[3];
        read(source, rgb);
        const uint32_t key = layout.pack(rgb[0], rgb[1], rgb[2]);
        if (key != previousKey) {
            previousKey = key;
            if (const Entry* hit = cacheLookup(cache, key)) {
                std::memcpy(result, hit->value, ComputeInks);
            } else {
                uint8_t c[3];
                preCorrect(curves, rgb[0], rgb[1], rgb[2], c);
                interpolateNode<ComputeInks>(locateTetrahedron(lut, c[0], c[1], c[2]), result);
                Entry& stored = cache->entries[cache->lastSlot];
                stored.key = key;
                std::memcpy(stored.value, result, sizeof(stored.value));
            }
        }
        write(result);
    }
}

// The member that writes the pre-corrected coordinates c0, c1, c2 alone,
// without table or cache. Its register starts at the empty key with the
// values 255, 255, 255, so a first white pixel yields 255, 255, 255.
template <typename Reader>
inline void preCorrectionRun(const PreCorrectionCurves& curves, KeyLayout layout,
                             const uint8_t* source, uint32_t step, int32_t n, Reader read,
                             PackedInkWriter<3>& write) {
    uint32_t previousKey = kEmptyCacheKey;
    uint8_t result[3] = {255, 255, 255};
    for (int32_t i = 0; i < n; ++i, source += step) {
        uint8_t rgb[3];
        read(source, rgb);
        const uint32_t key = layout.pack(rgb[0], rgb[1], rgb[2]);
        if (key != previousKey) {
            previousKey = key;
            preCorrect(curves, rgb[0], rgb[1], rgb[2], result);
        }
        write(result);
    }
}

} // namespace vrel
