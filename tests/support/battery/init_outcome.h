// What VrelInit may leave behind, whatever the database holds: the result
// code and the state of the slot must agree, no file may stay open and no
// block may outlive a failed start-up.
#pragma once

#include <vrel/vrel.h>

namespace vrel::test {

// An address that no allocation returns, put in a slot before VrelInit to
// see whether the slot was touched.
EngineContext* untouchedSlotMarker();

// Null when the outcome is allowed, else a description of what is wrong.
// expectAdjust: the record's adjustSwitch is 1, so success must return 1.
// liveBefore: the live block count before the call.
// The engine's memory blocks alive now (a failed start-up or a closed
// context leaves as many as there were before).
long liveBlocks();

const char* checkInitOutcome(int result, EngineContext* slot, bool expectAdjust, long liveBefore);

} // namespace vrel::test
