// The kernels of one instruction-set level, as the front ends call them.
// Every level is the same source (kernels_inl.h) compiled for its own
// target; kernel_dispatch.cpp picks the level once per process. The portable
// level is the reference every other level matches byte for byte, output
// and colour cache alike.
#pragma once

#include "core/colour_cache.h"
#include "correct/on_dot_rules.h"
#include "core/lut_block.h"

#include <cstdint>

namespace vrel {

enum class KernelIsa : int {
    Portable = 0, // plain C++
    Sse41 = 1,    // four 32-bit lanes
    Avx2 = 2,     // eight 32-bit lanes
};

// The curves of the colour pre-correction: the grey curve on each channel,
// the smallest of the three taken out as black, the four adjustment curves.
struct PreCorrectionCurves {
    const uint8_t* grey;          // greyCurve
    const uint8_t (*adjust)[256]; // adjustCurves: cyan, magenta, yellow, black
};

// Everything an interpolating conversion reads, fetched once per call.
template <typename Entry> struct InterpolationTables {
    const LutBlock* lut = nullptr;
    ColourCache<Entry>* cache = nullptr;
    PreCorrectionCurves curves{};
    KeyLayout layout{0u};
};

// The colour correction's table, cache, input curve and key layout.
struct CorrectionTables {
    const LutBlock* lut;
    ColourCache8* cache;
    const uint8_t* inputCurve;
    KeyLayout layout;
};

struct SourceRun {
    const uint8_t* first; // first converted source pixel
    uint32_t step;        // effective source step
    int32_t count;        // pixels to convert (none when 0 or less)
};

// How a source pixel gives red, green and blue: one grey byte used as all
// three, or three bytes at the given offsets.
struct PixelReading {
    bool grey;
    uint8_t offset[3];
};

// Where the results go: `inks` bytes at the given offsets of packed pixels
// `step` bytes apart, the four inks folded back into three channels, or ink
// i into plane i.
struct InkWriting {
    enum Kind { PackedPixels, FoldedRgb, Planes } kind;
    int inks;
    uint8_t* destination;
    uint32_t step;
    uint8_t offset[7];
    uint8_t* planes[7];
};

// How the correction reads and writes a pixel: three bytes at the given
// offsets, or the 5-bit fields of an Rgb555 word.
struct CorrectedPixels {
    bool rgb555;
    uint8_t offset[3];
};

struct KernelSet {
    KernelIsa level;
    // Four inks from group 0's four-channel table and 8-byte cache.
    void (*fourInks)(const InterpolationTables<CacheEntry8>& tables, const SourceRun& run,
                     const PixelReading& read, const InkWriting& write);
    // computeInks (6 or 7) inks interpolated and cached; write.inks of them
    // written.
    void (*multiInks)(const InterpolationTables<CacheEntry12>& tables, int computeInks,
                      const SourceRun& run, const PixelReading& read, const InkWriting& write);
    // The pre-corrected coordinates alone, as three packed bytes.
    void (*preCorrectionOnly)(const PreCorrectionCurves& curves, KeyLayout layout,
                              const SourceRun& run, const PixelReading& read,
                              const InkWriting& write);
    // Colour correction of n pixels `step` bytes apart, from source to
    // destination (which may be the source).
    void (*correct)(const CorrectionTables& tables, const CorrectedPixels& pixels,
                    const uint8_t* source, uint8_t* destination, uint32_t step, int32_t n);
    // The two on-dot rules on one line of bit planes.
    void (*invertRange)(uint8_t* plane, const ondot::BitRange& range);
    void (*fourColourRange)(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, int32_t lineBytes,
                            const ondot::BitRange& range);
};

// The kernels of the level this process runs: the best one the processor
// supports, or the portable one when the environment variable
// VREL_FORCE_PORTABLE is set to 1 (read once, at the first call).
const KernelSet& kernels();

// The level this process runs: the best one the processor (and its
// operating system) supports, or the portable one when forced.
KernelIsa supportedKernelIsa();

// The level kernels() currently returns.
KernelIsa kernelIsa();

namespace testing {
// Test hook: caps the level kernels() returns (KernelIsa::Portable forces
// the portable instances); KernelIsa::Avx2 lifts the cap again. Not an
// option of the library: nothing outside the tests calls it.
void limitKernelIsa(KernelIsa highest);
} // namespace testing

} // namespace vrel
