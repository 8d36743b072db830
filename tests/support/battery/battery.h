// The battery: every export of the engine run over one open context with
// fixed, seeded inputs, each buffer allocated at exactly the size of the line
// its count describes. The bytes and result codes produced are returned as a
// digest, so that two runs on equal contexts (another thread, another
// iteration) can be compared byte for byte.
#pragma once

#include "run_extents.h"

#include <cstdint>
#include <vector>
#include <vrel/vrel.h>

namespace vrel::test {

struct BatteryOptions {
    bool everyPair = true;       // false: only the input formats that have a kernel
    bool secondRunShape = false; // also a run with skips and a wider source step
    bool preparedTables = false; // profile class 9, then the palette, grey and mono tables
    bool rgb555Table = false;    // with preparedTables: also the 32768-entry table
    uint32_t seed = 7;
};

std::vector<uint8_t> runBattery(EngineContext* context, const BatteryOptions& options);

// Gives a freshly opened context profile class 9: the prepared tables.
void usePreparedTables(EngineContext* context);

// Single calls with exact buffers, shared by the battery and the fuzz
// targets. Each appends its result code and the bytes it left in its output
// buffers to *digest (when not null) and returns the result code.
// The source bytes come from a generator seeded with `seed`.
int convertBitmapExact(EngineContext* context, uint32_t inFormat, uint32_t outFormat,
                       const RunShape& run, uint32_t seed, std::vector<uint8_t>* digest);
int convertLineExact(EngineContext* context, uint32_t format, const RunShape& run, uint32_t seed,
                     std::vector<uint8_t>* digest);
int correctExact(EngineContext* context, uint32_t format, const RunShape& run, bool inPlace,
                 uint32_t seed, std::vector<uint8_t>* digest);
int onDotExact(EngineContext* context, int16_t count, int16_t skipStart, int16_t skipEnd,
               uint32_t seed, std::vector<uint8_t>* digest);
int convertPixel(EngineContext* context, uint32_t format, uint32_t value,
                 std::vector<uint8_t>* digest);
int correctPixel(EngineContext* context, int32_t format, uint32_t value,
                 std::vector<uint8_t>* digest);
// The four queries into exact 8- and 24-byte buffers.
void runQueries(EngineContext* context, std::vector<uint8_t>* digest);
// VrelInitColorConversion with a palette of lastIndex + 1 colours held in a
// record of exactly that size (lastIndex below 0: the two-byte header only).
int prepareMode(EngineContext* context, uint32_t mode, int16_t lastIndex, uint32_t seed,
                std::vector<uint8_t>* digest);

// True when the context's RGB output group takes its direct path.
bool takesDirectPath(const EngineContext* context);

} // namespace vrel::test
