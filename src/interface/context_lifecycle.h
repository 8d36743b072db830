// The internal steps of context start-up and reset.
#pragma once

#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

// What VrelInit, VrelReset and VrelClose do (interface/exports.cpp).
VrelResult initContext(EngineContext** slot, const ParamRecord* params);
VrelResult resetContext(EngineContext** slot, const ParamRecord* params);
void closeContext(EngineContext* context);

// Allocates the context into the slot, derives the rest of the settings,
// builds the curves and loads the tables: 0, -108, -128 or -138. On a failure
// after the allocation the slot is null and nothing stays allocated.
int16_t buildContext(EngineContext** slot, SettingsRecord* settings);

// True when a context opened with kept also serves fresh; a null fresh
// record is never the same.
bool sameParams(const ParamRecord* fresh, const ParamRecord* kept);

} // namespace vrel
