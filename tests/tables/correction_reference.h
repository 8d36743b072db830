// The colour correction as a caller sees it, on the one plain reference
// (support/reference.h): the input curve, then the interpolation of the
// three-channel table; the per-call register and the 4096-slot cache with
// its keys from the context's key layout. A fresh slot holds white's key
// and 255, 255, 255, so white is predicted exactly.
#pragma once

#include "support/reference.h"

#include <array>
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

class ReferenceCorrector {
  public:
    ReferenceCorrector(const CorrectionTable& table, uint32_t kernelFlags)
        : table_(table), kernelFlags_(kernelFlags) {
        slots_.fill(Slot{});
    }

    void beginCall() {
        previousKey_ = kInitialKey;
        previous_ = {255, 255, 255};
    }

    std::array<uint8_t, 3> pixel(uint8_t c0, uint8_t c1, uint8_t c2) {
        const uint32_t key = test::referenceKey(kernelFlags_, c0, c1, c2);
        if (key != previousKey_) {
            previousKey_ = key;
            Slot& slot = slots_[test::referenceSlot(key)];
            if (slot.key != key) {
                slot = {key, table_.correct(c0, c1, c2)};
            }
            previous_ = slot.value;
        }
        return previous_;
    }

  private:
    static constexpr uint32_t kInitialKey = 0xffffff00u;
    struct Slot {
        uint32_t key = kInitialKey;
        std::array<uint8_t, 3> value{255, 255, 255};
    };

    const CorrectionTable& table_;
    uint32_t kernelFlags_;
    std::array<Slot, 4096> slots_{};
    uint32_t previousKey_ = kInitialKey;
    std::array<uint8_t, 3> previous_{255, 255, 255};
};

} // namespace vrel::tables_test
