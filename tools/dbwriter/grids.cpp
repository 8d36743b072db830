// Grid helpers: node positions and channel-major table data.
#include <stdexcept>
#include <vrel/dbwriter.h>

namespace vrel::dbwriter {

Bytes defaultNodes() {
    Bytes nodes;
    for (int i = 0; i < 16; ++i)
        nodes.push_back(static_cast<uint8_t>(16 * i));
    nodes.push_back(255);
    return nodes;
}

Bytes makeGrid(const Bytes& nodes, int channels, const GridFunction& fn) {
    if (channels < 0)
        throw std::invalid_argument("negative channel count");
    const int n = static_cast<int>(nodes.size());
    Bytes grid(static_cast<size_t>(n) * static_cast<size_t>(n) * static_cast<size_t>(n) *
                   static_cast<size_t>(channels),
               0);
    for (int i0 = 0; i0 < n; ++i0)
        for (int i1 = 0; i1 < n; ++i1)
            for (int i2 = 0; i2 < n; ++i2) {
                const Bytes values =
                    fn(nodes[static_cast<size_t>(i0)], nodes[static_cast<size_t>(i1)],
                       nodes[static_cast<size_t>(i2)]);
                for (int q = 0; q < channels && q < static_cast<int>(values.size()); ++q)
                    grid[gridIndex(n, q, i0, i1, i2)] = values[static_cast<size_t>(q)];
            }
    return grid;
}

Bytes makeRandomGrid(int points, int channels, uint32_t seed) {
    if (points < 0 || channels < 0)
        throw std::invalid_argument("negative grid size");
    const size_t n = static_cast<size_t>(points);
    Bytes grid(n * n * n * static_cast<size_t>(channels));
    Random random(0x9e3779b97f4a7c15ull ^ seed);
    for (uint8_t& b : grid)
        b = random.byte();
    return grid;
}

uint64_t Random::next() {
    state_ += 0x9e3779b97f4a7c15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

uint32_t Random::below(uint32_t bound) {
    return static_cast<uint32_t>(((next() >> 32) * static_cast<uint64_t>(bound)) >> 32);
}

} // namespace vrel::dbwriter
