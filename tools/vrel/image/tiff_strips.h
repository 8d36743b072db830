// Compression of the ink TIFF's strips, one strip at a time and independent
// of every other, so that strips can be compressed on several threads and
// written in order with TIFFWriteRawStrip. A strip compresses to the same
// bytes whichever thread does it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrel::cli {

enum class TiffCompression { None, Lzw, Deflate, Zstd };

// "none", "lzw", "deflate" or "zstd"; throws CliError for anything else and
// for ZSTD when the libtiff at hand cannot read it.
TiffCompression parseTiffCompression(const std::string& name);
// The TIFFTAG_COMPRESSION value.
uint16_t tiffCompressionTag(TiffCompression compression);
// The TIFFTAG_PREDICTOR value: horizontal differencing for every codec, none
// for uncompressed strips.
uint16_t tiffPredictorTag(TiffCompression compression);

struct StripShape {
    uint32_t width = 0;
    uint32_t rows = 0;
    uint16_t samples = 0; // 8-bit samples per pixel, interleaved
};

// The strip's bytes as the codec stores them (a copy for None). Compressed
// strips are first differenced along each row (the horizontal predictor, as
// tiffPredictorTag declares). LZW goes through libtiff's own encoder on an
// in-memory file; Deflate is a zlib stream from libdeflate at its fastest
// level; ZSTD a frame at level 1.
std::vector<uint8_t> compressStrip(TiffCompression compression, const uint8_t* data,
                                   const StripShape& shape);

} // namespace vrel::cli
