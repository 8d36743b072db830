// The step filling of a corrected grey ramp, used by the grey curve that is
// derived through the colour correction.
#pragma once

#include <cstdint>

namespace vrel {

// Spreads every descent of two or more levels over the flat steps before it
// (backward filling) and after it (forward filling), so that the ramp has no
// flat run next to a jump. The ramp is changed in place.
void fillGreyRampSteps(uint8_t* ramp);

} // namespace vrel
