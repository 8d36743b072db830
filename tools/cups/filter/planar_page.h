// The ink planes of a page written in planar order: every line of the first
// colour comes before the second colour's first line, so the whole page is
// kept until its last line. Each plane grows as lines arrive, so the memory
// held is bounded by the raster that actually arrived (at most twice the
// planes' bytes of the lines converted so far), whatever the header claims.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vrel::cups {

class PlanarPage {
  public:
    // colours planes of lineBytes bytes a line.
    PlanarPage(unsigned colours, unsigned lineBytes) : planes_(colours), lineBytes_(lineBytes) {}

    // Adds a line: plane c takes lineBytes bytes from source[ink[c]].
    void append(const std::array<uint8_t*, 7>& source, const std::array<int, 7>& ink) {
        for (std::size_t c = 0; c < planes_.size(); ++c) {
            const uint8_t* line = source[static_cast<std::size_t>(ink[c])];
            planes_[c].insert(planes_[c].end(), line, line + lineBytes_);
        }
    }
    const std::vector<uint8_t>& plane(unsigned c) const { return planes_[c]; }
    unsigned colours() const { return static_cast<unsigned>(planes_.size()); }

  private:
    std::vector<std::vector<uint8_t>> planes_;
    unsigned lineBytes_;
};

} // namespace vrel::cups
