// The colour correction as a caller sees it, built on the shared scalar
// reference of the table arithmetic (support/reference_model.h): the input
// curve, then the interpolation of the three-channel table, plus a model of
// the per-call registers and the 4096-slot cache so that the answer for white
// (the initial key) is predicted exactly.
#pragma once

#include "support/reference_model.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrel::tables_test {

struct CorrectionTable {
    test::ReferenceTable table{{}, 3, {}}; // nodes, 3 channels, channel-major grid
    std::array<uint8_t, 256> inputCurve{};

    std::array<uint8_t, 3> correct(uint8_t c0, uint8_t c1, uint8_t c2) const {
        const std::vector<uint8_t> r =
            table.interpolate(inputCurve[c0], inputCurve[c1], inputCurve[c2]);
        return {r[0], r[1], r[2]};
    }
};

// The correction across calls on one context, for the two key layouts a
// context can have: the previous-pixel registers start anew with every call,
// the cache keeps its keys for the context's life. Only keys are modelled:
// every stored value is the table's answer for its key, and the one unstored
// value is the initial 255, 255, 255 of a fresh slot, which only white's key
// (with the default layout) can hit.
class ReferenceCorrector {
  public:
    ReferenceCorrector(const CorrectionTable& table, uint32_t kernelFlags)
        : table_(table), shift0_((kernelFlags >> 24) & 31), shift1_((kernelFlags >> 16) & 31),
          shift2_((kernelFlags >> 8) & 31) {
        slotKeys_.fill(kInitialKey);
        slotFresh_.fill(true);
    }

    void beginCall() {
        previousKey_ = kInitialKey;
        previous_ = {255, 255, 255};
    }

    std::array<uint8_t, 3> pixel(uint8_t c0, uint8_t c1, uint8_t c2) {
        const uint32_t key = pack(c0, c1, c2);
        if (key == previousKey_) {
            return previous_;
        }
        previousKey_ = key;
        // Default layout: green, blue, red nibbles; the other layout (key
        // red << 16 | green << 8 | blue): red, blue, green nibbles.
        const uint32_t slotIndex = defaultLayout()
                                       ? ((c1 & 15u) << 8 | (c2 & 15u) << 4 | (c0 & 15u))
                                       : ((c0 & 15u) << 8 | (c2 & 15u) << 4 | (c1 & 15u));
        if (slotKeys_[slotIndex] == key) {
            previous_ = slotFresh_[slotIndex] ? std::array<uint8_t, 3>{255, 255, 255}
                                              : table_.correct(c0, c1, c2);
        } else {
            previous_ = table_.correct(c0, c1, c2);
            slotKeys_[slotIndex] = key;
            slotFresh_[slotIndex] = false;
        }
        return previous_;
    }

  private:
    static constexpr uint32_t kInitialKey = 0xffffff00u;

    bool defaultLayout() const { return shift0_ == 8 && shift1_ == 16 && shift2_ == 24; }
    uint32_t pack(uint32_t c0, uint32_t c1, uint32_t c2) const {
        return (c0 << shift0_) | (c1 << shift1_) | (c2 << shift2_);
    }

    const CorrectionTable& table_;
    uint32_t shift0_, shift1_, shift2_;
    std::array<uint32_t, 4096> slotKeys_{};
    std::array<bool, 4096> slotFresh_{};
    uint32_t previousKey_ = kInitialKey;
    std::array<uint8_t, 3> previous_{255, 255, 255};
};

} // namespace vrel::tables_test
