// The conversions as the exports run them (interface/exports.cpp); the
// prepared-table builders and the single-pixel conversion call them too.
#pragma once

#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

VrelResult convertBitmap(uint32_t inFormat, uint32_t outFormat, const void* source,
                         void* destination, uint32_t count, int16_t skipStart, uint16_t skipEnd,
                         uint32_t sourceStep, EngineContext* context);
VrelResult convertPixel(uint32_t reserved, uint32_t format, uint32_t value, uint32_t* result,
                        EngineContext* context);
VrelResult convertLine(const LineRecord* line, uint16_t count, int16_t skipStart, uint16_t skipEnd,
                       uint32_t sourceStep, EngineContext* context);

} // namespace vrel
