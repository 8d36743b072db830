// A plain reference of the colour correction, computed straight from the
// table as the database stores it (channel-major, node positions) rather than
// from a LutBlock: cell search, 16.16 fractions rounded to nearest, the six
// tetrahedra chosen by comparing fractions, integer weights, rounding by
// adding 32768. It also models the per-call registers and the 4096-slot cache
// so that the answer for white (the initial key) is predicted exactly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrel::tables_test {

struct ReferenceTable {
    std::vector<uint8_t> nodes; // rising, 0 .. 255
    std::vector<uint8_t> data;  // n^3 * 3 bytes, channel-major
    std::array<uint8_t, 256> inputCurve{};

    int points() const { return static_cast<int>(nodes.size()); }

    // Value of channel q at grid point (i0, i1, i2); 0 outside the grid
    // (such corners always carry weight 0).
    int value(int q, int i0, int i1, int i2) const {
        const int n = points();
        if (i0 >= n || i1 >= n || i2 >= n) {
            return 0;
        }
        return data[static_cast<std::size_t>(q) * n * n * n + static_cast<std::size_t>(i0) * n * n +
                    static_cast<std::size_t>(i1) * n + static_cast<std::size_t>(i2)];
    }

    // Cell index and 16.16 fraction of an axis value.
    void locate(int v, int* cell, int* fraction) const {
        const int n = points();
        int j = 0;
        for (int i = 0; i < n; ++i) {
            if (nodes[i] <= v) {
                j = i;
            }
        }
        *cell = j;
        if (j == n - 1) {
            *fraction = 0;
        } else {
            const int width = nodes[j + 1] - nodes[j];
            *fraction = ((v - nodes[j]) * 65536 + width / 2) / width;
        }
    }

    // The corrected colour of (c0, c1, c2), interpolated through the table.
    std::array<uint8_t, 3> correct(uint8_t c0, uint8_t c1, uint8_t c2) const {
        int i[3], f[3];
        locate(inputCurve[c0], &i[0], &f[0]);
        locate(inputCurve[c1], &i[1], &f[1]);
        locate(inputCurve[c2], &i[2], &f[2]);
        // Axis visiting order and the corresponding weights, one row per case.
        int order[3];
        if (f[1] <= f[2] && f[0] <= f[2] && f[0] <= f[1]) {
            order[0] = 2, order[1] = 1, order[2] = 0;
        } else if (f[1] <= f[2] && f[0] <= f[2]) {
            order[0] = 2, order[1] = 0, order[2] = 1;
        } else if (f[1] <= f[2]) {
            order[0] = 0, order[1] = 2, order[2] = 1;
        } else if (f[0] <= f[2]) {
            order[0] = 1, order[1] = 2, order[2] = 0;
        } else if (f[0] <= f[1]) {
            order[0] = 1, order[1] = 0, order[2] = 2;
        } else {
            order[0] = 0, order[1] = 1, order[2] = 2;
        }
        const int weight[4] = {65536 - f[order[0]], f[order[0]] - f[order[1]],
                               f[order[1]] - f[order[2]], f[order[2]]};
        std::array<uint8_t, 3> out{};
        for (int q = 0; q < 3; ++q) {
            int step[3] = {0, 0, 0};
            int64_t sum = 32768;
            for (int corner = 0; corner < 4; ++corner) {
                if (corner > 0) {
                    step[order[corner - 1]] = 1;
                }
                sum += static_cast<int64_t>(weight[corner]) *
                       value(q, i[0] + step[0], i[1] + step[1], i[2] + step[2]);
            }
            out[q] = static_cast<uint8_t>(sum >> 16);
        }
        return out;
    }
};

// The correction as a caller sees it (for the two key layouts a context can
// have) across calls on one context: the
// previous-pixel registers start anew with every call, the cache keeps its
// keys for the context's life. Only keys are modelled: every stored value is
// the table's answer for its key, and the one unstored value is the initial
// 255, 255, 255 of a fresh slot, which only white's key can hit.
class ReferenceCorrector {
  public:
    ReferenceCorrector(const ReferenceTable& table, uint32_t kernelFlags)
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

    const ReferenceTable& table_;
    uint32_t shift0_, shift1_, shift2_;
    std::array<uint32_t, 4096> slotKeys_{};
    std::array<bool, 4096> slotFresh_{};
    uint32_t previousKey_ = kInitialKey;
    std::array<uint8_t, 3> previous_{255, 255, 255};
};

} // namespace vrel::tables_test
