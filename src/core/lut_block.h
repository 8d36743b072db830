// LutBlock: one three-dimensional colour table prepared for tetrahedral
// interpolation. The header is followed in the same block by the grid,
// interleaved by node (the c output bytes of a grid point are adjacent), and
// by zero slack so that the far corners of a base point on the last grid
// plane can be read (their weight is then 0).
#pragma once

#include <cstdint>

namespace vrel {

inline constexpr uint32_t kLutMagic = 0xd6a32e10u;
inline constexpr uint32_t kLutReady = 0x7aedf393u;
inline constexpr int kMaxLutChannels = 16;

struct AxisEntry {
    uint32_t fraction; // 16.16 position of the value inside its cell
    uint32_t offset0;  // cell index times stride0
    uint32_t offset1;  // cell index times stride1
    uint32_t offset2;  // cell index times stride2
};

struct LutBlock {
    uint32_t lutMagic;
    uint32_t lutReady;
    uint8_t lutChannels;
    uint32_t lutGridBytes;
    uint8_t lutGridPoints;
    uint32_t stride0; // n*n*c
    uint32_t stride1; // n*c
    uint32_t stride2; // c
    AxisEntry axisTable[256];
    // For the six tetrahedra in case order: first corner, second corner, far corner.
    uint32_t cornerTable[18];

    uint8_t* grid() { return reinterpret_cast<uint8_t*>(this + 1); }
    const uint8_t* grid() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};

// Extra zero bytes past the required slack, so that wide loads of the last
// node's bytes stay inside the block.
inline constexpr uint32_t kLutExtraSlack = 16;

// Bytes of a LutBlock for n grid points and c channels, slack included.
inline uint32_t lutBlockSize(uint32_t channels, uint32_t points) {
    const uint32_t n = points, c = channels;
    return static_cast<uint32_t>(sizeof(LutBlock)) + n * n * n * c + n * n * c + n * c + c + 1 +
           kLutExtraSlack;
}

} // namespace vrel
