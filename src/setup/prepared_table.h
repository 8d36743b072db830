// Prepared direct lookup tables: one four-byte entry per input value (a
// 15-bit colour, a palette index, a grey level or a bit), built by
// VrelInitColorConversion for a context of profile class 9 and read by the
// prepared-table kernels of the bitmap conversion.
//
// Entry bytes by conversion method:
//   MethodBlack         0, 0, 0, black
//   MethodThreeChannel  ch0, ch1, ch2, 0  (bytes 1, 2, 3 of an Xrgb32 result)
//   MethodFourColor     C, M, Y, K        (bytes 3, 2, 1, 0 of a Kymc32 result)
#pragma once

#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

inline constexpr uint32_t kPreparedEntryBytes = 4;
inline constexpr uint32_t kRgb555Entries = 32768;
inline constexpr uint32_t kPaletteEntries = 256;
inline constexpr uint32_t kGrayEntries = 256;
inline constexpr uint32_t kMonoEntries = 2;

// Block sizes of the four tables. The mono table only uses its first eight
// bytes; the larger block is kept so that every table has room to spare.
inline constexpr uint32_t kRgb555TableBytes = kRgb555Entries * kPreparedEntryBytes;   // 131072
inline constexpr uint32_t kPaletteTableBytes = kPaletteEntries * kPreparedEntryBytes; // 1024
inline constexpr uint32_t kGrayTableBytes = kGrayEntries * kPreparedEntryBytes;       // 1024
inline constexpr uint32_t kMonoTableBytes = 768;

// Black amount of one colour (channels 0..255): the luminance
// ((77 r + 128) >> 8) + ((151 g + 128) >> 8) + ((28 b + 128) >> 8), kept to
// eight bits, through the grey curve and then the black adjustment curve.
uint8_t blackFromRgb(int16_t red, int16_t green, int16_t blue, const EngineContext& context);

// The builders. Each allocates its block through preparedBlock, stores the
// locked address in preparedAddress, fills the entries in increasing index
// order and releases the lock. They expect preparedBlock to be empty and the
// context's conversionMethod to be one the selection matrix accepts for the
// mode. Result: 0 when the table is complete, VREL_ERR_MEMORY (with
// preparedAddress left null) when the block cannot be allocated.
VrelResult buildRgb555Table(EngineContext* context);
VrelResult buildPaletteTable(EngineContext* context, const PaletteRecord* const* palette);
VrelResult buildGrayTable(EngineContext* context);
VrelResult buildMonoTable(EngineContext* context);

// Frees the prepared table, if any, and leaves the context without one.
void releasePreparedTable(EngineContext* context);

// What VrelInitColorConversion does (interface/exports.cpp).
VrelResult prepareConversion(EngineContext* context, uint32_t mode,
                             const PaletteRecord* const* palette);

} // namespace vrel
