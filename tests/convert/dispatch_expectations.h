// What a bitmap conversion between two formats must do on a given context,
// written out from the dispatch tables: the result code and, for a run,
// every byte of the destination.
#pragma once

#include "conversion_rig.h"

#include <cstdint>
#include <vector>

namespace vrel::test {

enum class Expect {
    Refused,       // result -128, nothing written
    Nothing,       // result 0, nothing written
    FourInk,       // interpolated inks at the output offsets
    Folded,        // interpolated inks folded into three channels
    PreCorrection, // pre-corrected coordinates alone
    MultiInk,      // six or seven interpolated inks
    CurveDirect,   // adjustCurves[3][greyCurve[g]]
    CurveInverted, // 255 - the above
    TableWhole,    // whole four-byte entries at destination + 4 i
    TableZeroThree // 0, e0, e1, e2 from the group's first destination pixel
};

Expect expectedFor(const EngineContext& context, uint32_t inFormat, uint32_t outFormat);

// Entries a prepared table holds for the mode it was prepared for.
uint32_t entriesForMode(uint32_t mode);

// Applies the expectation to `expected` (the destination before the call);
// interpolating expectations advance the rig's reference model.
void applyExpectation(Expect what, Rig& rig, uint32_t inFormat, uint32_t outFormat,
                      const std::vector<uint8_t>& src, uint32_t sourceStep,
                      std::vector<uint8_t>& expected, uint32_t count, int16_t skipStart,
                      uint16_t skipEnd);

} // namespace vrel::test
