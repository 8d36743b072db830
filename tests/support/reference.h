// A plain reference of the colour arithmetic and of the calls that run it,
// written straight from the arithmetic and sharing no code with the engine:
// cell and 16.16 fraction from the node positions, the six tetrahedron
// cases, weights and rounding; the pre-correction; keys, slots, the
// previous-pixel registers and the 4096-slot colour caches of the
// conversion (group 0) and the correction (group 1); the ink writers; the
// prepared-table lookups; the on-dot rules. Differential tests run the
// engine and this model on the same tables and compare every byte.
#pragma once

#include "core/engine_context.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vrel::dbwriter {
struct Database;
}

namespace vrel::test {

// The cell of value v: the last node at or below v, and the fraction
// ((v - node) * 65536 + width / 2) / width, 0 at the last node. The nodes
// must start at 0, rise strictly and end at 255 (else std::invalid_argument).
struct ReferenceCell {
    int index = 0;
    uint32_t fraction = 0;
};
ReferenceCell referenceCell(const std::vector<uint8_t>& nodes, uint8_t v);

// The tetrahedron the six-case table picks for one colour.
struct ReferenceTetrahedron {
    int caseNumber = 0;                        // 1..6
    std::array<int, 3> base{};                 // grid indices of P
    std::array<uint32_t, 3> fractions{};       // f0, f1, f2
    std::array<std::array<int, 3>, 3> steps{}; // axis steps of A, B, C from P
    uint32_t weightP = 0, weightA = 0, weightB = 0, weightC = 0;
};
ReferenceTetrahedron referenceTetrahedron(const std::vector<uint8_t>& nodes, uint8_t v0, uint8_t v1,
                                          uint8_t v2);

// A three-dimensional table as a colour-table chunk stores it: channel q of
// point (i0, i1, i2) at q·k³ + i0·k² + i1·k + i2.
struct ReferenceTable {
    std::vector<uint8_t> nodes;
    int channels = 0;
    std::vector<uint8_t> grid;

    // 0 outside the grid (such corners always carry weight 0).
    uint8_t value(int q, int i0, int i1, int i2) const;
    // (wP·P + wA·A + wB·B + wC·C + 32768) >> 16 for every channel.
    std::vector<uint8_t> interpolate(uint8_t v0, uint8_t v1, uint8_t v2) const;
};
// The colour-table chunk `id` of a database; `defaultGrid` lays its data on
// the 17 default nodes whatever its own nodes say.
ReferenceTable referenceTableOf(const dbwriter::Database& db, uint16_t id, int channels,
                                bool defaultGrid = false);

// A 5-bit level widened to 8 bits; the luminance of (r, g, b) through the
// grey curve and the black adjustment curve.
inline int levelOf5Bit(int n) {
    return 8 * n + n / 4;
}
uint8_t referenceLuminanceBlack(int r, int g, int b, const uint8_t grey[256],
                                const uint8_t black[256]);

uint32_t referenceKey(uint32_t kernelFlags, uint8_t c0, uint8_t c1, uint8_t c2);
uint32_t referenceSlot(uint32_t key);

// The exports on one context: what each call returns and writes, and the
// colour caches the context holds afterwards. The curves, key layout,
// method, which tables exist and the prepared table are taken from the
// context; the three-dimensional tables are given.
class ReferenceEngine {
  public:
    struct Slot {
        uint32_t key = 0xffffff00u;
        std::array<uint8_t, 8> value{};
    };

    ReferenceEngine(const EngineContext& context, ReferenceTable conversion,
                    ReferenceTable correction);
    // Takes the prepared table, the mode and both colour caches as the
    // context holds them (after VrelInit or VrelInitColorConversion, whose
    // builders run colours through the caches).
    void sync(const EngineContext& context);
    // The slots of a context's colour cache of group 0 or 1 (none without).
    static std::vector<Slot> cacheOf(const EngineContext& context, int group);

    VrelResult bitmap(uint32_t in, uint32_t out, const uint8_t* source, uint8_t* destination,
                      uint32_t count, int16_t skipStart, uint16_t skipEnd, uint32_t sourceStep);
    VrelResult line(uint32_t format, const uint8_t* source, uint8_t* const planes[7],
                    uint16_t count, int16_t skipStart, uint16_t skipEnd, uint32_t sourceStep);
    VrelResult pixel(uint32_t format, uint32_t value, uint32_t* result);
    void correct(uint32_t format, const uint8_t* source, uint8_t* destination, uint16_t count,
                 int16_t skipStart, uint16_t skipEnd);
    VrelResult correctPixel(int32_t format, uint32_t colour, uint32_t* result);

    const std::vector<Slot>& cache(int group) const { return cache_[group]; }
    // The first slot of either group whose key or value differs from the
    // context's, as 4096·group + slot; -1 when all agree.
    int firstCacheDifference(const EngineContext& context) const;

  private:
    struct Registers {
        uint32_t key = 0xffffff00u;
        std::array<uint8_t, 8> value{};
    };
    std::array<uint8_t, 3> preCorrect(const std::array<uint8_t, 3>& rgb) const;
    // One pixel through the previous-pixel register and the cache of group
    // 0 (conversion) or 1 (correction).
    const std::array<uint8_t, 8>& cached(int group, Registers& run,
                                         const std::array<uint8_t, 3>& c);
    bool preparedHolds(uint32_t entries) const;

    uint8_t grey_[256], adjust_[4][256], input_[256];
    uint32_t kernelFlags_;
    int16_t method_;
    bool forcedThree_, fourInk_, multiInk_, correction_;
    int inks_;
    ReferenceTable conversion_, correctionTable_;
    std::vector<Slot> cache_[2];
    std::vector<uint8_t> prepared_;
    uint32_t mode_ = 0;
};

// The on-dot rules bit by bit: method 1 inverts plane 3 over the range,
// method 4 clears the black plane of the line, then K = NOT (C OR M OR Y)
// and C, M, Y = NOT (plane OR K) over the range.
VrelResult referenceOnDot(int16_t method, uint8_t* const planes[4], int16_t count,
                          int16_t skipStart, int16_t skipEnd);

} // namespace vrel::test
