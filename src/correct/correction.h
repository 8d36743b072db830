// The colour correction and the on-dot rules as the exports run them
// (interface/exports.cpp); the derived curves and the prepared tables call
// the correction too.
#pragma once

#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

VrelResult correctBitmap(uint32_t format, const void* source, void* destination, uint16_t count,
                         int16_t skipStart, uint16_t skipEnd, EngineContext* context);
VrelResult correctPixel(int32_t format, uint32_t colour, uint32_t* result, EngineContext* context);
VrelResult onDotBlack(uint8_t* plane0, uint8_t* plane1, uint8_t* plane2, uint8_t* plane3,
                      int16_t count, int16_t skipStart, int16_t skipEnd, uint32_t reserved,
                      EngineContext* context);

} // namespace vrel
