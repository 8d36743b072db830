// The peers every vrel case is compared with, in the same binary and run:
// lcms2 converting the same 17-point four-ink grid (a device link holding one
// 16-bit CLUT stage, 8-bit RGB in, 8-bit CMYK out), and memcpy of the same
// number of output bytes.
#pragma once

#include "workloads.h"

#include <cstddef>
#include <cstdint>
#include <lcms2.h>
#include <vector>

namespace vrel::bench {

class LcmsTransform {
  public:
    // flags: 0 (lcms2's defaults) or cmsFLAGS_LOWRESPRECALC.
    explicit LcmsTransform(uint32_t flags);
    ~LcmsTransform();
    LcmsTransform(const LcmsTransform&) = delete;
    LcmsTransform& operator=(const LcmsTransform&) = delete;

    // Converts the Rgb24 page row by row into packed CMYK (4 bytes a pixel).
    void convertPage(const Page& rgb, uint8_t* cmyk) const;

  private:
    cmsHTRANSFORM transform_ = nullptr;
};

// lcms2's grid: the vrel table's channel-major data turned interleaved (the
// four inks of a node together, node (i0, i1, i2) at ((i0 n + i1) n + i2)),
// each byte scaled by 257. lcms2 also varies its first input channel slowest,
// so vrel's axis 0 (red) and lcms2's input 0 (red) are the same axis.
std::vector<uint16_t> lcmsGrid(const std::vector<uint8_t>& channelMajor, int points, int channels);

// Copies a page's worth of output (rows of width * bytesPerPixel bytes).
void memcpyPage(const uint8_t* from, uint8_t* to, int width, int height, int bytesPerPixel);

// Peer timings measured once at start-up (thread CPU seconds for one 4096 x
// 1024 page, median of five runs), for the vs_lcms2 / vs_memcpy counters.
double lcmsSecondsPerPage(Workload w);
double memcpySecondsPerPage(int bytesPerPixel);
// memcpy of `rows` rows of `rowBytes` bytes, one call per row.
double memcpyRowsSeconds(size_t rowBytes, int rows);

// Thread CPU time in seconds.
double threadSeconds();

} // namespace vrel::bench
