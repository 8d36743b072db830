// The shared tetrahedral interpolation core. Every interpolating path of the
// engine (colour correction, the four-ink kernels and the six- and seven-ink
// kernels) goes through locateTetrahedron and interpolateNode, so the
// arithmetic exists once.
#pragma once

#include <cstdint>

#include "resources/lut_block.h"

namespace vrel {

// The cell and tetrahedron of one input colour: the base node, the byte
// offsets of the three further corners from it and the four weights, which
// are non-negative and sum to 65536.
struct Tetrahedron {
    const uint8_t* base;
    uint32_t offsetA, offsetB, offsetC;
    uint32_t weightP, weightA, weightB, weightC;
};

// Locates the tetrahedron for the axis values v0, v1, v2 (axis 0 slowest).
// The fractions are compared as signed integers in a fixed order; on ties the
// first matching case wins (the tied corners then carry weight 0, so any
// choice gives the same result).
inline Tetrahedron locateTetrahedron(const LutBlock* lut, uint8_t v0, uint8_t v1, uint8_t v2) {
    const AxisEntry& a0 = lut->axisTable[v0];
    const AxisEntry& a1 = lut->axisTable[v1];
    const AxisEntry& a2 = lut->axisTable[v2];
    const int32_t f0 = static_cast<int32_t>(a0.fraction);
    const int32_t f1 = static_cast<int32_t>(a1.fraction);
    const int32_t f2 = static_cast<int32_t>(a2.fraction);
    int tetra;
    int32_t wP, wA, wB, wC;
    if (f1 <= f2) {
        if (f0 <= f2) {
            if (f0 <= f1) {
                tetra = 0, wP = 65536 - f2, wA = f2 - f1, wB = f1 - f0, wC = f0;
            } else {
                tetra = 1, wP = 65536 - f2, wA = f2 - f0, wB = f0 - f1, wC = f1;
            }
        } else {
            tetra = 2, wP = 65536 - f0, wA = f0 - f2, wB = f2 - f1, wC = f1;
        }
    } else if (f0 <= f2) {
        tetra = 3, wP = 65536 - f1, wA = f1 - f2, wB = f2 - f0, wC = f0;
    } else if (f0 <= f1) {
        tetra = 4, wP = 65536 - f1, wA = f1 - f0, wB = f0 - f2, wC = f2;
    } else {
        tetra = 5, wP = 65536 - f0, wA = f0 - f1, wB = f1 - f2, wC = f2;
    }
    const uint32_t* corners = &lut->cornerTable[3 * tetra];
    return Tetrahedron{lut->grid() + a0.offset0 + a1.offset1 + a2.offset2,
                       corners[0],
                       corners[1],
                       corners[2],
                       static_cast<uint32_t>(wP),
                       static_cast<uint32_t>(wA),
                       static_cast<uint32_t>(wB),
                       static_cast<uint32_t>(wC)};
}

// Interpolates node bytes 0..Channels-1 of the tetrahedron into out.
template <int Channels>
inline void interpolateNode(const Tetrahedron& t, uint8_t* out) {
    const uint8_t* p = t.base;
    const uint8_t* a = p + t.offsetA;
    const uint8_t* b = p + t.offsetB;
    const uint8_t* c = p + t.offsetC;
    for (int j = 0; j < Channels; ++j) {
        const uint32_t sum =
            t.weightP * p[j] + t.weightA * a[j] + t.weightB * b[j] + t.weightC * c[j] + 32768u;
        out[j] = static_cast<uint8_t>(sum >> 16);
    }
}

} // namespace vrel
