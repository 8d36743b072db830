// A PNG (grey or RGB, 8 bits) made band by band: each band of rows is
// filtered and deflated on its own, on whichever thread has it, and the
// bands are then written in order as IDAT chunks that together hold one zlib
// stream. Every band but the last ends with a sync flush, so its deflate
// data ends on a byte boundary and the next band's follows it; the first
// band carries the zlib header and the last the final block; the stream's
// Adler-32 is joined from those of the bands (adler32_combine). A band does
// not depend on the others, so the file is the same for any number of
// threads. The converted page's preview and ink planes are large and
// written once: rows after a band's first take the "up" filter (the first
// row none, as it has no row above in the band) and are deflated at zlib's
// fastest setting, run-length matches only, which on such pages is both
// faster and smaller than zlib's default matching.
#pragma once

#include "files/output_set.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace vrel::cli {

struct PngBand {
    std::vector<uint8_t> data; // the deflated bytes of the band's rows
    uint32_t crc = 0;          // CRC-32 of "IDAT" and data
    uint32_t adler = 1;        // Adler-32 of the filtered rows
    std::size_t filteredBytes = 0;
    int rows = 0;
    bool first = false, last = false;
};

// Writes row y (0 <= y < rows) of a band, rowBytes bytes, at out.
using PngRowSource = std::function<void(int y, uint8_t* out)>;

// Filters and deflates `rows` rows; first and last say whether the band
// begins or ends the image.
PngBand encodePngBand(std::size_t rowBytes, int rows, bool first, bool last,
                      const PngRowSource& row);

class PngStream {
  public:
    // Writes the signature and header; throws CliError when the output
    // cannot be written.
    PngStream(StagedOutput& out, int width, int height, int channels);

    // An ancillary chunk (sRGB, pHYs), before the first band.
    void writeChunk(const char type[4], const uint8_t* data, std::size_t size);
    // The bands in order, from the first to the last.
    void writeBand(const PngBand& band);
    // Writes the end of the image; throws CliError unless every row was
    // written.
    void finish();

  private:
    StagedOutput& out_;
    int height_ = 0;
    int rowsWritten_ = 0;
    uint32_t adler_ = 1;
};

} // namespace vrel::cli
