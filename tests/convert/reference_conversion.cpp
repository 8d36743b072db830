#include "reference_conversion.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vrel::test {

ReferenceConverter::ReferenceConverter(const EngineContext& context, int channels,
                                       std::vector<uint8_t> nodes, std::vector<uint8_t> grid)
    : kernelFlags_(context.kernelFlags), channels_(channels), nodes_(std::move(nodes)),
      grid_(std::move(grid)), cache_(4096) {
    std::memcpy(grey_, context.greyCurve, 256);
    std::memcpy(adjust_, context.adjustCurves, sizeof adjust_);
}

void ReferenceConverter::beginRun() {
    previousKey_ = 0xffffff00u;
    result_ = {};
}

uint32_t ReferenceConverter::key(uint8_t r, uint8_t g, uint8_t b) const {
    const uint32_t s0 = (kernelFlags_ >> 24) & 0xff;
    const uint32_t s1 = (kernelFlags_ >> 16) & 0xff;
    const uint32_t s2 = (kernelFlags_ >> 8) & 0xff;
    return (uint32_t{r} << s0) | (uint32_t{g} << s1) | (uint32_t{b} << s2);
}

uint32_t ReferenceConverter::slotOf(uint32_t k) {
    const uint32_t a = ((k >> 20) | (k << 4)) & 0xffffu;
    return (a & 0x00f0u) | ((k >> 8) & 0x0f0fu);
}

std::array<uint8_t, 3> ReferenceConverter::preCorrect(uint8_t r, uint8_t g, uint8_t b) const {
    const int x[3] = {grey_[r], grey_[g], grey_[b]};
    const int m = std::min({x[0], x[1], x[2]});
    std::array<uint8_t, 3> c{};
    for (int k = 0; k < 3; ++k) {
        const int s = adjust_[k][x[k] - m] + adjust_[3][m];
        c[k] = static_cast<uint8_t>(s < 256 ? 255 - s : 0);
    }
    return c;
}

std::array<uint8_t, 8> ReferenceConverter::interpolate(uint8_t c0, uint8_t c1, uint8_t c2,
                                                       int inks) const {
    const int n = static_cast<int>(nodes_.size());
    const int v[3] = {c0, c1, c2};
    int cell[3];
    long f[3];
    for (int k = 0; k < 3; ++k) {
        int j = 0;
        while (j + 1 < n && nodes_[j + 1] <= v[k]) {
            ++j;
        }
        cell[k] = j;
        if (j < n - 1) {
            const long width = nodes_[j + 1] - nodes_[j];
            f[k] = ((v[k] - nodes_[j]) * 65536L + width / 2) / width;
        } else {
            f[k] = 0;
        }
    }
    // Case table: axis steps of the two inner corners and the four weights.
    int a[3], b[3];
    long w[4];
    auto set = [&](std::initializer_list<int> first, std::initializer_list<int> second, long wp,
                   long wa, long wb, long wc) {
        std::copy(first.begin(), first.end(), a);
        std::copy(second.begin(), second.end(), b);
        w[0] = wp, w[1] = wa, w[2] = wb, w[3] = wc;
    };
    if (f[1] <= f[2] && f[0] <= f[2] && f[0] <= f[1]) {
        set({0, 0, 1}, {0, 1, 1}, 65536 - f[2], f[2] - f[1], f[1] - f[0], f[0]);
    } else if (f[1] <= f[2] && f[0] <= f[2] && f[0] > f[1]) {
        set({0, 0, 1}, {1, 0, 1}, 65536 - f[2], f[2] - f[0], f[0] - f[1], f[1]);
    } else if (f[1] <= f[2] && f[0] > f[2]) {
        set({1, 0, 0}, {1, 0, 1}, 65536 - f[0], f[0] - f[2], f[2] - f[1], f[1]);
    } else if (f[1] > f[2] && f[0] <= f[2]) {
        set({0, 1, 0}, {0, 1, 1}, 65536 - f[1], f[1] - f[2], f[2] - f[0], f[0]);
    } else if (f[1] > f[2] && f[0] > f[2] && f[0] <= f[1]) {
        set({0, 1, 0}, {1, 1, 0}, 65536 - f[1], f[1] - f[0], f[0] - f[2], f[2]);
    } else {
        set({1, 0, 0}, {1, 1, 0}, 65536 - f[0], f[0] - f[1], f[1] - f[2], f[2]);
    }
    const int corners[4][3] = {{0, 0, 0}, {a[0], a[1], a[2]}, {b[0], b[1], b[2]}, {1, 1, 1}};
    std::array<uint8_t, 8> out{};
    for (int q = 0; q < inks; ++q) {
        long sum = 32768;
        for (int t = 0; t < 4; ++t) {
            if (w[t] < 0) {
                throw std::logic_error("negative weight");
            }
            if (w[t] == 0) {
                continue;
            }
            const int i0 = cell[0] + corners[t][0], i1 = cell[1] + corners[t][1],
                      i2 = cell[2] + corners[t][2];
            if (i0 >= n || i1 >= n || i2 >= n) {
                throw std::logic_error("weighted corner outside the grid");
            }
            sum += w[t] * grid_[((i0 * n + i1) * n + i2) * channels_ + q];
        }
        out[q] = static_cast<uint8_t>(sum >> 16);
    }
    return out;
}

std::array<uint8_t, 8> ReferenceConverter::convert(uint8_t r, uint8_t g, uint8_t b, int inks) {
    const uint32_t k = key(r, g, b);
    if (k == previousKey_) {
        return result_;
    }
    previousKey_ = k;
    ReferenceSlot& slot = cache_[slotOf(k)];
    if (slot.key == k) {
        std::copy(slot.value.begin(), slot.value.begin() + inks, result_.begin());
        return result_;
    }
    const std::array<uint8_t, 3> c = preCorrect(r, g, b);
    const std::array<uint8_t, 8> inksOut = interpolate(c[0], c[1], c[2], inks);
    std::copy(inksOut.begin(), inksOut.begin() + inks, result_.begin());
    slot.key = k;
    slot.value = result_;
    return result_;
}

void ReferenceConverter::beginPreCorrectionRun() {
    previousKey_ = 0xffffff00u;
    preCorrected_ = {255, 255, 255};
}

std::array<uint8_t, 3> ReferenceConverter::preCorrectionOnly(uint8_t r, uint8_t g, uint8_t b) {
    const uint32_t k = key(r, g, b);
    if (k != previousKey_) {
        previousKey_ = k;
        preCorrected_ = preCorrect(r, g, b);
    }
    return preCorrected_;
}

std::array<uint8_t, 3> foldReference(const std::array<uint8_t, 8>& inks) {
    std::array<uint8_t, 3> out{};
    for (int k = 0; k < 3; ++k) {
        out[k] = static_cast<uint8_t>(255 - std::min(255, inks[k] + inks[3]));
    }
    return out;
}

} // namespace vrel::test
