// Entry points of the interpolating conversion members, as the bitmap groups
// and the line front ends call them. Each is handed the first converted
// source pixel, the effective source step and the pixel count (nothing is
// read or written when it is 0 or less).
//
// Members that need group 0's table refuse to run on a context that does not
// hold the table and cache they read: they return false having read and
// written nothing, and their caller reports VREL_ERR_PARAM.
#pragma once

#include "convert/kernel_set.h"
#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

// inFormat selects the reader: Gray8 and BlackPixel32 are read as one grey
// byte, the direct colour formats as three channels at their offsets.

// Cyan, magenta, yellow, black at the output format's channel 0..3 offsets.
bool convertToFourInkPixels(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                            uint8_t* destination, uint32_t outFormat);
// The four inks folded into three channels at the output format's 0..2 offsets.
bool convertToFoldedRgbPixels(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                              uint8_t* destination, uint32_t outFormat);
// Ink i into plane i, i = 0..3.
bool convertToFourInkPlanes(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                            uint8_t* const planes[4]);
// The pre-corrected coordinates alone (direct colour input only); reads no
// table, so it always runs.
void convertPreCorrectionOnly(EngineContext* context, const SourceRun& run, uint32_t inFormat,
                              uint8_t* destination, uint32_t outFormat);

// Six or seven inks (inks = 6 or 7) at the output format's channel offsets.
bool convertToMultiInkPixels(EngineContext* context, int inks, const SourceRun& run,
                             uint32_t inFormat, uint8_t* destination, uint32_t outFormat);
// Ink i into plane i, i = 0..inks-1.
bool convertToMultiInkPlanes(EngineContext* context, int inks, const SourceRun& run,
                             uint32_t inFormat, uint8_t* const planes[]);

} // namespace vrel
