// Internal hooks for the test suite; never part of the public header.
#pragma once

#include "vrel/vrel.h"

#include <cstdint>

namespace vrel::testing {

// Gives the context the profile class it would have had if its profile had
// been of that class: sets profileClass and the matching kernelFlags, and
// empties the colour result caches so that no result keyed with the previous
// key layout survives. Meant to be called right after VrelInit.
void setProfileClass(EngineContext* context, uint32_t profileClass);

} // namespace vrel::testing
