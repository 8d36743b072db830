// The profile queries as the exports run them (interface/exports.cpp).
#pragma once

#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

uint32_t searchDataC(EngineContext* context, uint8_t* searchData, uint32_t reserved);
uint32_t searchData(EngineContext* context, uint8_t* searchData, uint32_t reserved);
uint32_t profileNameC(EngineContext* context, uint8_t* name, uint32_t reserved);
uint32_t profileName(EngineContext* context, uint8_t* name, uint32_t reserved);

} // namespace vrel
