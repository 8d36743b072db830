// The output groups of the bitmap conversion. Each takes the run as the
// export received it, works out where the converted stretch begins, chooses
// a kernel by the input format and runs it. The export hands them only runs
// with at least one pixel to convert.
//
// Result: 0 whatever the group did (a pairing it does not serve writes
// nothing), except VREL_ERR_PARAM, with nothing read or written, when the
// chosen kernel needs a table the context does not hold: group 0's table
// with the cache of the member's layout, or a prepared table long enough for
// the input.
#pragma once

#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

struct BitmapRun {
    uint32_t inFormat;
    uint32_t outFormat;
    const uint8_t* source;
    uint8_t* destination;
    uint32_t count;
    int16_t skipStart;
    uint16_t skipEnd;
    uint32_t sourceStep;
    EngineContext* context;
};

VrelResult rgbOutputGroup(const BitmapRun& run);
VrelResult blackOutputGroup(const BitmapRun& run);
VrelResult inkOutputGroup(const BitmapRun& run);
// inks = 6 (Ink6, Ink6Reversed) or 7 (Ink7, Ink7Reversed).
VrelResult multiInkOutputGroup(const BitmapRun& run, int inks);

} // namespace vrel
