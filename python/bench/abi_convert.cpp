// The C side of the Python module's speed figure: converts the pixels of a
// raw RGB file through the engine's exports, as a C caller would (packed
// inks for the ink methods, in runs of the per-call limit), and prints the
// best times of a few repeats in seconds: the converting thread's processor
// time, which other work on a busy machine does not inflate.
//
//   vrel_python_bench_abi DATABASE KEY94 PIXELS.rgb [REPEATS]
#include "common/engine_limits.h"
#include "convert/convert_image.h"
#include "convert/engine_settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

uint32_t packedFormat(int method) {
    switch (method) {
    case VrelMethodSixColor:
        return VrelFormatInk6;
    case VrelMethodSevenColor:
        return VrelFormatInk7;
    case VrelMethodThreeChannel:
        return VrelFormatRgb24;
    default:
        return VrelFormatCmyk32;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DATABASE KEY94 PIXELS.rgb [REPEATS]\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[3], std::ios::binary);
    const std::vector<uint8_t> rgb((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
    const int repeats = argc > 4 ? std::atoi(argv[4]) : 5;
    vrel::cli::PrintSettings settings;
    settings.keyField94 = static_cast<uint16_t>(std::atoi(argv[2]));
    vrel::cli::EngineSession session(settings, argv[1]);
    EngineContext* ctx = session.context();
    const int method = vrel::cli::conversionMethodOf(ctx);
    const auto inks = static_cast<std::size_t>(vrel::cli::inkCountFor(method));
    const std::size_t pixels = rgb.size() / 3;
    // Two figures: into one output buffer written before the clock starts
    // (the engine's own time), and into a fresh buffer for each conversion,
    // as the module makes one (its page faults counted, on plain pages).
    std::vector<uint8_t> reused(pixels * inks);
    double bestReused = 1e30, bestFresh = 1e30;
    for (int r = 0; r < repeats; ++r) {
        for (const bool fresh : {false, true}) {
            const double start = threadSeconds();
            const std::unique_ptr<uint8_t[]> own(fresh ? new uint8_t[pixels * inks] : nullptr);
            uint8_t* out = fresh ? own.get() : reused.data();
            for (std::size_t x = 0; x < pixels; x += vrel::tools::kPixelsPerCall) {
                const auto count = std::min<std::size_t>(vrel::tools::kPixelsPerCall, pixels - x);
                VrelBitmapColorConversion(VrelFormatRgb24, packedFormat(method), rgb.data() + 3 * x,
                                          out + inks * x, static_cast<uint32_t>(count), 0, 0, 0,
                                          ctx);
            }
            double& best = fresh ? bestFresh : bestReused;
            best = std::min(best, threadSeconds() - start);
        }
    }
    std::printf("%.6f %.6f\n", bestReused, bestFresh);
    return 0;
}
