#include "peers.h"

#include "bench_databases.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>

namespace vrel::bench {

std::vector<uint16_t> lcmsGrid(const std::vector<uint8_t>& channelMajor, int points, int channels) {
    const size_t nodes = static_cast<size_t>(points) * points * points;
    std::vector<uint16_t> grid(nodes * static_cast<size_t>(channels));
    for (size_t node = 0; node < nodes; ++node) {
        for (int q = 0; q < channels; ++q) {
            grid[node * channels + q] =
                static_cast<uint16_t>(channelMajor[static_cast<size_t>(q) * nodes + node] * 257);
        }
    }
    return grid;
}

LcmsTransform::LcmsTransform(uint32_t flags) {
    const std::vector<uint16_t> grid = lcmsGrid(databases().fourInkGrid(), kGridPoints, 4);
    cmsContext context = nullptr;
    cmsPipeline* pipeline = cmsPipelineAlloc(context, 3, 4);
    cmsStage* clut = cmsStageAllocCLut16bit(context, kGridPoints, 3, 4, grid.data());
    cmsHPROFILE link = cmsCreateProfilePlaceholder(context);
    if (pipeline == nullptr || clut == nullptr || link == nullptr ||
        !cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, clut)) {
        std::fprintf(stderr, "vrel_bench: cannot build the lcms2 pipeline\n");
        std::exit(2);
    }
    cmsSetProfileVersion(link, 4.3);
    cmsSetDeviceClass(link, cmsSigLinkClass);
    cmsSetColorSpace(link, cmsSigRgbData);
    cmsSetPCS(link, cmsSigCmykData);
    cmsWriteTag(link, cmsSigAToB0Tag, pipeline);
    transform_ =
        cmsCreateTransform(link, TYPE_RGB_8, nullptr, TYPE_CMYK_8, INTENT_PERCEPTUAL, flags);
    cmsPipelineFree(pipeline);
    cmsCloseProfile(link);
    if (transform_ == nullptr) {
        std::fprintf(stderr, "vrel_bench: lcms2 refused the device link\n");
        std::exit(2);
    }
}

LcmsTransform::~LcmsTransform() {
    cmsDeleteTransform(transform_);
}

void LcmsTransform::convertPage(const Page& rgb, uint8_t* cmyk) const {
    const size_t outRow = static_cast<size_t>(rgb.width) * 4;
    for (int y = 0; y < rgb.height; ++y) {
        cmsDoTransform(transform_, rgb.row(y), cmyk + static_cast<size_t>(y) * outRow,
                       static_cast<cmsUInt32Number>(rgb.width));
    }
}

void memcpyPage(const uint8_t* from, uint8_t* to, int width, int height, int bytesPerPixel) {
    const size_t row = static_cast<size_t>(width) * bytesPerPixel;
    for (int y = 0; y < height; ++y) {
        std::memcpy(to + y * row, from + y * row, row);
    }
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

namespace {

double medianOfFive(const std::function<void()>& run) {
    run(); // warm: page faults, caches, lcms2's own start-up
    double times[5];
    for (double& t : times) {
        const double start = threadSeconds();
        run();
        benchmark::ClobberMemory();
        t = threadSeconds() - start;
    }
    std::sort(times, times + 5);
    return times[2];
}

} // namespace

double lcmsSecondsPerPage(Workload w) {
    static std::map<Workload, double> measured;
    if (const auto it = measured.find(w); it != measured.end()) {
        return it->second;
    }
    const LcmsTransform transform(0);
    const Page& page = rgbPage(w);
    std::vector<uint8_t> out(page.pixelCount() * 4);
    const double seconds = medianOfFive([&] { transform.convertPage(page, out.data()); });
    measured[w] = seconds;
    return seconds;
}

double memcpyRowsSeconds(size_t rowBytes, int rows) {
    static std::map<std::pair<size_t, int>, double> measured;
    const auto key = std::make_pair(rowBytes, rows);
    if (const auto it = measured.find(key); it != measured.end()) {
        return it->second;
    }
    const size_t bytes = rowBytes * static_cast<size_t>(rows);
    std::vector<uint8_t> from(bytes, 1), to(bytes, 0);
    // Sets that fit the caches are copied several times per run so that a
    // run lasts long enough for the thread clock; a page is copied once, as
    // the Memcpy cases do.
    const int repeats = bytes >= (8u << 20) ? 1 : static_cast<int>((64u << 20) / bytes);
    const double seconds = medianOfFive([&] {
        for (int r = 0; r < repeats; ++r) {
            for (int y = 0; y < rows; ++y) {
                std::memcpy(to.data() + y * rowBytes, from.data() + y * rowBytes, rowBytes);
            }
        }
    });
    measured[key] = seconds / repeats;
    return measured[key];
}

double memcpySecondsPerPage(int bytesPerPixel) {
    return memcpyRowsSeconds(static_cast<size_t>(kPageWidth) * bytesPerPixel, kPageHeight);
}

} // namespace vrel::bench
