// A plain model of the interpolating conversion, written straight from the
// arithmetic: key, previous-pixel register, a 4096-slot cache modelled as
// slot -> (key, value), pre-correction, cell and fraction from the node
// positions, the six cases in order, weights and rounding. It shares no code
// with the engine, so a disagreement points at one of them.
#pragma once

#include "core/engine_context.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vrel::test {

struct ReferenceSlot {
    uint32_t key = 0xffffff00u;
    std::array<uint8_t, 8> value{};
};

class ReferenceConverter {
  public:
    // Takes the curves and key layout from the context; the table from the
    // node positions and the node-interleaved grid. The cache starts as a
    // freshly loaded group-0 cache.
    ReferenceConverter(const EngineContext& context, int channels, std::vector<uint8_t> nodes,
                       std::vector<uint8_t> grid);

    // Starts one kernel call: previous key 0xFFFFFF00, result bytes 0.
    void beginRun();
    // One pixel through register, cache and table, computing `inks` inks;
    // returns the eight result bytes.
    std::array<uint8_t, 8> convert(uint8_t r, uint8_t g, uint8_t b, int inks);

    // The pre-correction-only member: its own register starts at 255s.
    void beginPreCorrectionRun();
    std::array<uint8_t, 3> preCorrectionOnly(uint8_t r, uint8_t g, uint8_t b);

    // Uncached pieces, exposed for the tests of single cases.
    std::array<uint8_t, 3> preCorrect(uint8_t r, uint8_t g, uint8_t b) const;
    std::array<uint8_t, 8> interpolate(uint8_t c0, uint8_t c1, uint8_t c2, int inks) const;
    uint32_t key(uint8_t r, uint8_t g, uint8_t b) const;
    static uint32_t slotOf(uint32_t key);

    const std::vector<ReferenceSlot>& cache() const { return cache_; }

  private:
    uint8_t grey_[256];
    uint8_t adjust_[4][256];
    uint32_t kernelFlags_;
    int channels_;
    std::vector<uint8_t> nodes_, grid_;
    std::vector<ReferenceSlot> cache_;
    uint32_t previousKey_ = 0xffffff00u;
    std::array<uint8_t, 8> result_{};
    std::array<uint8_t, 3> preCorrected_{};
};

// The four ink bytes folded into three channels: 255 - min(255, ink + black).
std::array<uint8_t, 3> foldReference(const std::array<uint8_t, 8>& inks);

} // namespace vrel::test
