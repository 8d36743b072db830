// The six 256-entry curves that VrelInit derives: four adjustment curves, the
// input curve of the correction table and the grey curve.
#pragma once

#include "core/engine_context.h"

#include <cstdint>

namespace vrel {

int16_t buildAdjustCurves(uint8_t (*adjustCurves)[256], const SettingsRecord* settings);
void densityCurve(uint8_t* out, int16_t density);
void balanceCurve(uint8_t* out, int16_t balance);
int16_t buildInputCurve(uint8_t* inputCurve, const SettingsRecord* settings);
// 0, or the result of the colour correction used by grey mode 1.
int16_t buildGreyCurve(EngineContext* context, const SettingsRecord* settings);

} // namespace vrel
