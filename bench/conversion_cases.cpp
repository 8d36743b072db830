// Bitmap and line conversion of whole pages, and the lcms2 and memcpy peers.
#include "case_support.h"
#include "cases.h"
#include "peers.h"
#include "workloads.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vrel::bench {

namespace {

struct BitmapCase {
    const char* name;
    int method;
    uint32_t inFormat;
    uint32_t outFormat;
    int outBytes;
    bool fourInks; // RGB to four inks: compared with lcms2
};

constexpr BitmapCase kBitmapCases[] = {
    {"BitmapRgb24ToCmyk32", 4, VrelFormatRgb24, VrelFormatCmyk32, 4, true},
    {"BitmapXrgb32ToKymc32", 4, VrelFormatXrgb32, VrelFormatKymc32, 4, true},
    {"BitmapRgb24ToInk6", 6, VrelFormatRgb24, VrelFormatInk6, 6, false},
    {"BitmapRgb24ToInk7", 7, VrelFormatRgb24, VrelFormatInk7, 7, false},
};

void checkOk(VrelResult result, const char* what) {
    if (result != VREL_OK) {
        std::fprintf(stderr, "vrel_bench: %s returned %d\n", what, result);
        std::exit(2);
    }
}

void convertBitmapPage(const Page& page, uint32_t inFormat, uint32_t outFormat, uint8_t* out,
                       int outBytes, EngineContext* context) {
    const size_t outRow = static_cast<size_t>(page.width) * outBytes;
    for (int y = 0; y < page.height; ++y) {
        checkOk(VrelBitmapColorConversion(inFormat, outFormat, page.row(y), out + y * outRow,
                                          static_cast<uint32_t>(page.width), 0, 0, 0, context),
                "VrelBitmapColorConversion");
    }
}

void bitmapCase(benchmark::State& state, BitmapCase c, Workload w) {
    const Page& page = c.inFormat == VrelFormatXrgb32 ? xrgbPage(w) : rgbPage(w);
    std::vector<uint8_t> out(page.pixelCount() * c.outBytes, 0);
    ContextPerPage contexts(c.method);
    for (auto _ : state) {
        EngineContext* context = contexts.fresh(state);
        convertBitmapPage(page, c.inFormat, c.outFormat, out.data(), c.outBytes, context);
        benchmark::DoNotOptimize(out.data());
    }
    reportPages(state, page.pixelCount());
    reportRatio(state, "vs_memcpy", memcpySecondsPerPage(c.outBytes));
    if (c.fourInks) {
        reportRatio(state, "vs_lcms2", lcmsSecondsPerPage(w));
    }
}

void lineCase(benchmark::State& state, int method, Workload w) {
    const Page& page = rgbPage(w);
    std::vector<std::vector<uint8_t>> planes(static_cast<size_t>(method),
                                             std::vector<uint8_t>(page.pixelCount(), 0));
    ContextPerPage contexts(method);
    for (auto _ : state) {
        EngineContext* context = contexts.fresh(state);
        for (int y = 0; y < page.height; ++y) {
            LineRecord line{};
            line.format = VrelFormatRgb24;
            line.source = page.row(y);
            for (int p = 0; p < method; ++p) {
                line.planes[p] =
                    planes[static_cast<size_t>(p)].data() + static_cast<size_t>(y) * page.width;
            }
            checkOk(
                VrelLineColorConversion(&line, static_cast<uint16_t>(page.width), 0, 0, 0, context),
                "VrelLineColorConversion");
        }
        benchmark::ClobberMemory();
    }
    reportPages(state, page.pixelCount());
    reportRatio(state, "vs_memcpy", memcpySecondsPerPage(method));
    if (method == 4) {
        reportRatio(state, "vs_lcms2", lcmsSecondsPerPage(w));
    }
}

void lcmsCase(benchmark::State& state, uint32_t flags, Workload w) {
    const Page& page = rgbPage(w);
    std::vector<uint8_t> out(page.pixelCount() * 4, 0);
    const LcmsTransform transform(flags);
    for (auto _ : state) {
        transform.convertPage(page, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    reportPages(state, page.pixelCount());
}

void memcpyCase(benchmark::State& state, int bytesPerPixel) {
    const size_t bytes = static_cast<size_t>(kPageWidth) * kPageHeight * bytesPerPixel;
    std::vector<uint8_t> from(bytes, 1), to(bytes, 0);
    for (auto _ : state) {
        memcpyPage(from.data(), to.data(), kPageWidth, kPageHeight, bytesPerPixel);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    reportPages(state, static_cast<size_t>(kPageWidth) * kPageHeight);
}

// Time growth with the page size, on the photo workload (one fresh context
// per page, as every other case).
void scalingCase(benchmark::State& state, int megapixels) {
    const Page page = makeRgbPage(Workload::Photo, kPageWidth, megapixels * 256);
    std::vector<uint8_t> out(page.pixelCount() * 4, 0);
    ContextPerPage contexts(4);
    for (auto _ : state) {
        EngineContext* context = contexts.fresh(state);
        convertBitmapPage(page, VrelFormatRgb24, VrelFormatCmyk32, out.data(), 4, context);
        benchmark::DoNotOptimize(out.data());
    }
    reportPages(state, page.pixelCount());
}

} // namespace

void registerConversionCases() {
    for (const Workload w : kWorkloads) {
        const std::string suffix = std::string("/") + workloadName(w);
        for (const BitmapCase& c : kBitmapCases) {
            benchmark::RegisterBenchmark((c.name + suffix).c_str(), bitmapCase, c, w);
        }
        benchmark::RegisterBenchmark(("LineFourPlanes" + suffix).c_str(), lineCase, 4, w);
        benchmark::RegisterBenchmark(("LineSixPlanes" + suffix).c_str(), lineCase, 6, w);
        benchmark::RegisterBenchmark(("LineSevenPlanes" + suffix).c_str(), lineCase, 7, w);
        benchmark::RegisterBenchmark(("Lcms2Default" + suffix).c_str(), lcmsCase, 0u, w);
        benchmark::RegisterBenchmark(("Lcms2LowResPrecalc" + suffix).c_str(), lcmsCase,
                                     static_cast<uint32_t>(cmsFLAGS_LOWRESPRECALC), w);
    }
    for (const int bytes : {3, 4, 6, 7}) {
        benchmark::RegisterBenchmark(("Memcpy/" + std::to_string(bytes) + "BytesPerPixel").c_str(),
                                     memcpyCase, bytes);
    }
    for (const int megapixels : {1, 2, 4, 8, 16}) {
        benchmark::RegisterBenchmark(("Scaling/" + std::to_string(megapixels) + "Mpix").c_str(),
                                     scalingCase, megapixels);
    }
}

} // namespace vrel::bench
