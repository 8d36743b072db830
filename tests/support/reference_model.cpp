#include "support/reference_model.h"

#include <stdexcept>

namespace vrel::test {

ReferenceCell referenceCell(const std::vector<uint8_t>& nodes, uint8_t v) {
    if (nodes.size() < 2 || nodes.front() != 0 || nodes.back() != 255)
        throw std::invalid_argument("nodes must start at 0 and end at 255");
    for (size_t i = 1; i < nodes.size(); ++i)
        if (nodes[i] <= nodes[i - 1])
            throw std::invalid_argument("nodes must rise strictly");

    ReferenceCell cell;
    for (size_t j = 0; j < nodes.size(); ++j)
        if (nodes[j] <= v)
            cell.index = static_cast<int>(j);
    const size_t j = static_cast<size_t>(cell.index);
    if (j + 1 < nodes.size()) {
        const uint32_t width = static_cast<uint32_t>(nodes[j + 1] - nodes[j]);
        cell.fraction = (static_cast<uint32_t>(v - nodes[j]) * 65536u + width / 2) / width;
    }
    return cell;
}

ReferenceTetrahedron referenceTetrahedron(const std::vector<uint8_t>& nodes, uint8_t v0, uint8_t v1,
                                          uint8_t v2) {
    const ReferenceCell c0 = referenceCell(nodes, v0), c1 = referenceCell(nodes, v1),
                        c2 = referenceCell(nodes, v2);
    ReferenceTetrahedron t;
    t.base = {c0.index, c1.index, c2.index};
    t.fractions = {c0.fraction, c1.fraction, c2.fraction};
    // Compared as signed integers, in the order of the case table.
    const int32_t f0 = static_cast<int32_t>(c0.fraction);
    const int32_t f1 = static_cast<int32_t>(c1.fraction);
    const int32_t f2 = static_cast<int32_t>(c2.fraction);
    int32_t wP = 0, wA = 0, wB = 0, wC = 0;
    if (f1 <= f2 && f0 <= f2 && f0 <= f1) {
        t.caseNumber = 1;
        t.steps = {{{0, 0, 1}, {0, 1, 1}, {1, 1, 1}}};
        wP = 65536 - f2, wA = f2 - f1, wB = f1 - f0, wC = f0;
    } else if (f1 <= f2 && f0 <= f2 && f0 > f1) {
        t.caseNumber = 2;
        t.steps = {{{0, 0, 1}, {1, 0, 1}, {1, 1, 1}}};
        wP = 65536 - f2, wA = f2 - f0, wB = f0 - f1, wC = f1;
    } else if (f1 <= f2 && f0 > f2) {
        t.caseNumber = 3;
        t.steps = {{{1, 0, 0}, {1, 0, 1}, {1, 1, 1}}};
        wP = 65536 - f0, wA = f0 - f2, wB = f2 - f1, wC = f1;
    } else if (f1 > f2 && f0 <= f2) {
        t.caseNumber = 4;
        t.steps = {{{0, 1, 0}, {0, 1, 1}, {1, 1, 1}}};
        wP = 65536 - f1, wA = f1 - f2, wB = f2 - f0, wC = f0;
    } else if (f1 > f2 && f0 > f2 && f0 <= f1) {
        t.caseNumber = 5;
        t.steps = {{{0, 1, 0}, {1, 1, 0}, {1, 1, 1}}};
        wP = 65536 - f1, wA = f1 - f0, wB = f0 - f2, wC = f2;
    } else { // f1 > f2 && f0 > f1
        t.caseNumber = 6;
        t.steps = {{{1, 0, 0}, {1, 1, 0}, {1, 1, 1}}};
        wP = 65536 - f0, wA = f0 - f1, wB = f1 - f2, wC = f2;
    }
    t.weightP = static_cast<uint32_t>(wP);
    t.weightA = static_cast<uint32_t>(wA);
    t.weightB = static_cast<uint32_t>(wB);
    t.weightC = static_cast<uint32_t>(wC);
    return t;
}

uint8_t ReferenceTable::value(int q, int i0, int i1, int i2) const {
    const int n = static_cast<int>(nodes.size());
    if (q < 0 || q >= channels || i0 < 0 || i1 < 0 || i2 < 0 || i0 >= n || i1 >= n || i2 >= n)
        return 0;
    const size_t k = static_cast<size_t>(n);
    const size_t at = static_cast<size_t>(q) * k * k * k + static_cast<size_t>(i0) * k * k +
                      static_cast<size_t>(i1) * k + static_cast<size_t>(i2);
    if (at >= grid.size())
        throw std::out_of_range("reference grid shorter than k³·channels");
    return grid[at];
}

std::vector<uint8_t> ReferenceTable::interpolate(uint8_t v0, uint8_t v1, uint8_t v2) const {
    const ReferenceTetrahedron t = referenceTetrahedron(nodes, v0, v1, v2);
    const auto [b0, b1, b2] = t.base;
    std::vector<uint8_t> out(static_cast<size_t>(channels));
    for (int q = 0; q < channels; ++q) {
        const uint32_t p = value(q, b0, b1, b2);
        const auto& sa = t.steps[0];
        const auto& sb = t.steps[1];
        const auto& sc = t.steps[2];
        const uint32_t a = value(q, b0 + sa[0], b1 + sa[1], b2 + sa[2]);
        const uint32_t b = value(q, b0 + sb[0], b1 + sb[1], b2 + sb[2]);
        const uint32_t c = value(q, b0 + sc[0], b1 + sc[1], b2 + sc[2]);
        const uint32_t sum = t.weightP * p + t.weightA * a + t.weightB * b + t.weightC * c + 32768u;
        out[static_cast<size_t>(q)] = static_cast<uint8_t>(sum >> 16);
    }
    return out;
}

std::vector<uint8_t> referenceInterpolate(const std::vector<uint8_t>& nodes, int channels,
                                          const std::vector<uint8_t>& grid, uint8_t v0, uint8_t v1,
                                          uint8_t v2) {
    return ReferenceTable{nodes, channels, grid}.interpolate(v0, v1, v2);
}

} // namespace vrel::test
