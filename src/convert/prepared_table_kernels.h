// Conversions that do not interpolate: lookups in the prepared direct table
// that VrelInitColorConversion builds for 16-bit, palette, grey and one-bit
// input, and grey input through the grey and black curves.
#pragma once

#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

inline constexpr uint32_t kPreparedEntrySize = 4;

// The prepared table, or null when the context holds none or the one it
// holds is too short for `entriesNeeded` four-byte entries. The length is
// known from the mode the table was prepared for (conversionMode: 32768
// entries for ModeRgb555, 256 for ModePalette and ModeGray); for any other
// recorded mode only the two entries every prepared table holds are
// assumed. A run whose input would index past the table is thus refused
// instead of reading beyond it.
const uint8_t* preparedEntries(const EngineContext* context, uint32_t entriesNeeded);

// How a four-byte entry becomes output bytes.
enum class EntryForm {
    Whole,         // the four entry bytes unchanged (ink and black groups)
    ZeroThenThree, // 0, then entry bytes 0, 1, 2 (three-channel output)
};

// Byte-indexed (Index8, Gray8) and word-indexed (Rgb555: the little-endian
// word AND 0x7FFF) lookups: n pixels from `source` stepping `step` bytes,
// four output bytes per pixel from `destination` stepping 4 bytes.
void lookupByteIndexRun(const uint8_t* table, EntryForm form, const uint8_t* source, uint32_t step,
                        int32_t n, uint8_t* destination);
void lookupRgb555Run(const uint8_t* table, EntryForm form, const uint8_t* source, uint32_t step,
                     int32_t n, uint8_t* destination);

// One-bit input: pixel p is bit 7 - (p mod 8) of byte p / 8 of `row`. For
// the n pixels from firstPixel on, writes the pixelBytes bytes of `clear`
// or `set` to destination, destination + destinationStep, ... The row is
// consumed as the remaining bits of the first byte, whole bytes, then the
// leading bits of the last byte. pixelBytes is 4, 6 or 7.
void convertMonoRun(const uint8_t* row, int32_t firstPixel, int32_t n, const uint8_t* clear,
                    const uint8_t* set, uint32_t pixelBytes, uint8_t* destination,
                    uint32_t destinationStep);

// Grey input through the two curves: v = adjustCurves[3][greyCurve[g]],
// written as v (direct) or 255 - v (inverted), one byte per destination
// pixel.
void convertGreyCurveRun(const EngineContext* context, const uint8_t* source, uint32_t step,
                         int32_t n, uint8_t* destination, uint32_t destinationStep, bool inverted);

} // namespace vrel
