// A plain scalar reference of the colour-table arithmetic, written straight
// from the arithmetic (the fraction of fillLutBlock and the six-case
// interpolation) and independent of the engine's LutBlock: it works on the node positions and
// the channel-major table data as the database stores them.
//
// Differential tests run the engine and this model on the same tables and
// compare every output byte.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vrel::test {

// The cell of an input value: j = the largest index with nodes[j] <= v, and
// the 16.16 fraction ((v - nodes[j])·65536 + (nodes[j+1] - nodes[j]) / 2) /
// (nodes[j+1] - nodes[j]), truncating; 0 when j is the last node.
// The nodes must start at 0, rise strictly and end at 255 (else
// std::invalid_argument).
struct ReferenceCell {
    int index = 0;
    uint32_t fraction = 0;
};
ReferenceCell referenceCell(const std::vector<uint8_t>& nodes, uint8_t v);

// The tetrahedron of one input colour, as the six-case table picks it.
struct ReferenceTetrahedron {
    int caseNumber = 0;                  // 1..6, the row of the case table
    std::array<int, 3> base{};           // grid indices (i0, i1, i2) of P
    std::array<uint32_t, 3> fractions{}; // f0, f1, f2
    // Corner steps (axis 0, axis 1, axis 2) of A, B and C from P.
    std::array<std::array<int, 3>, 3> steps{};
    uint32_t weightP = 0, weightA = 0, weightB = 0, weightC = 0;
};
ReferenceTetrahedron referenceTetrahedron(const std::vector<uint8_t>& nodes, uint8_t v0, uint8_t v1,
                                          uint8_t v2);

// A three-dimensional table as stored in a colour-table chunk.
struct ReferenceTable {
    std::vector<uint8_t> nodes; // k positions per axis
    int channels = 0;
    std::vector<uint8_t>
        grid; // channel-major: channel q, point (i0,i1,i2) at q·k³ + i0·k² + i1·k + i2

    // The value of channel q at grid point (i0, i1, i2); 0 for a point outside
    // the grid (the engine's zero slack, always taken with weight 0).
    uint8_t value(int q, int i0, int i1, int i2) const;
    // result_q = (wP·P + wA·A + wB·B + wC·C + 32768) >> 16 for q = 0..channels-1.
    std::vector<uint8_t> interpolate(uint8_t v0, uint8_t v1, uint8_t v2) const;
};

// The same as ReferenceTable{nodes, channels, grid}.interpolate(v0, v1, v2).
std::vector<uint8_t> referenceInterpolate(const std::vector<uint8_t>& nodes, int channels,
                                          const std::vector<uint8_t>& grid, uint8_t v0, uint8_t v1,
                                          uint8_t v2);

} // namespace vrel::test
