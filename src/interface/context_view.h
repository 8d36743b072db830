// A read-only look inside a context, for the command-line tool: what
// `vrel info` prints and `vrel plot` draws. Internal to the project (not
// part of the public header, not exported from the shared library).
#pragma once

#include "vrel/vrel.h"

#include <cstdint>

namespace vrel::inspect {

// A colour table as loaded: node ip of each axis at nodes[ip]; channel q of
// grid point (i0, i1, i2) at grid[((i0 n + i1) n + i2) channels + q].
struct TableView {
    bool present;
    uint8_t channels;
    uint8_t gridPoints;
    const uint8_t* nodes;
    const uint8_t* grid;
};

struct ContextView {
    uint16_t layout;
    uint16_t channelCount;
    uint32_t recordFlags;
    uint16_t lutChunkId;
    uint16_t correctionTableId;
    uint16_t inputKind;
    uint16_t adjustSwitch;
    uint16_t greyMode;
    bool flagExtension;
    const uint8_t* name1;    // 24 bytes: name1 of the profile entry
    const uint8_t* extName9; // 24 bytes each: the extension chunk's names
    const uint8_t* extName10;
    const uint8_t* greyCurve;
    const uint8_t* inputCurve;
    const uint8_t (*adjustCurves)[256];
    TableView conversion; // group 0
    TableView correction; // group 1
};

ContextView view(const EngineContext* context);

} // namespace vrel::inspect
