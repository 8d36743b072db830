// Writes the benchmark suite's photo-like page (smooth gradients with mild
// noise) at any size as an uncompressed RGB TIFF, the input of
// scripts/bench-convert.sh.
//
//   vrel_bench_photo WIDTH HEIGHT OUT.tif
#include "workloads.h"

#include <cstdio>
#include <cstdlib>
#include <tiffio.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT OUT.tif\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[1]);
    const int height = std::atoi(argv[2]);
    if (width < 1 || height < 1) {
        std::fprintf(stderr, "%s: the size must be positive\n", argv[0]);
        return 2;
    }
    const auto page = vrel::bench::makeRgbPage(vrel::bench::Workload::Photo, width, height);
    TIFF* t = TIFFOpen(argv[3], "w");
    if (!t)
        return 1;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    for (int y = 0; y < height; ++y)
        if (TIFFWriteScanline(t, const_cast<uint8_t*>(page.row(y)), static_cast<uint32_t>(y), 0) <
            0) {
            TIFFClose(t);
            return 1;
        }
    TIFFClose(t);
    return 0;
}
