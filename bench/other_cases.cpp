// Colour correction, on-dot black, context start-up and the 15-bit prepared
// table builder.
#include "case_support.h"
#include "cases.h"
#include "peers.h"
#include "setup/test_hooks.h"
#include "workloads.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vrel::bench {

namespace {

void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "vrel_bench: %s failed\n", what);
        std::exit(2);
    }
}

// In-place Rgb24 correction of a page, line by line; the page is restored
// from the original with the timer paused.
void correctionCase(benchmark::State& state, Workload w) {
    const Page& original = rgbPage(w);
    Page page = original;
    ContextPerPage contexts(4);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(page.pixels.data(), original.pixels.data(), page.pixels.size());
        state.ResumeTiming();
        EngineContext* context = contexts.fresh(state);
        for (int y = 0; y < page.height; ++y) {
            uint8_t* row = page.pixels.data() + static_cast<size_t>(y) * page.rowBytes();
            require(VrelBitmapColorCorrection(VrelFormatRgb24, row, row,
                                              static_cast<uint16_t>(page.width), 0, 0,
                                              context) == VREL_OK,
                    "VrelBitmapColorCorrection");
        }
        benchmark::ClobberMemory();
    }
    reportPages(state, original.pixelCount());
    reportRatio(state, "vs_memcpy", memcpySecondsPerPage(3));
}

// The four-colour rule on 1024 lines of four 4096-pixel bit planes (4 Mpixel),
// compared with memcpy of the same bytes (the four planes of every line).
void onDotCase(benchmark::State& state) {
    constexpr int kLineBytes = kPageWidth / 8;
    std::vector<uint8_t> planes(static_cast<size_t>(kPageHeight) * 4 * kLineBytes);
    uint64_t seed = 99;
    for (uint8_t& b : planes) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        b = static_cast<uint8_t>(seed >> 56);
    }
    EngineContext* context = openContext(4);
    for (auto _ : state) {
        for (int y = 0; y < kPageHeight; ++y) {
            uint8_t* line = planes.data() + static_cast<size_t>(y) * 4 * kLineBytes;
            require(VrelOnDotBlack(line, line + kLineBytes, line + 2 * kLineBytes,
                                   line + 3 * kLineBytes, static_cast<int16_t>(kPageWidth), 0, 0, 0,
                                   context) == VREL_OK,
                    "VrelOnDotBlack");
        }
        benchmark::ClobberMemory();
    }
    VrelClose(context);
    reportPages(state, static_cast<size_t>(kPageWidth) * kPageHeight);
    reportRatio(state, "vs_memcpy", memcpyRowsSeconds(4 * kLineBytes, kPageHeight));
}

// VrelInit and VrelClose of the four-ink profile (database file in the page
// cache, as on a driver's second job).
void initCase(benchmark::State& state) {
    const ParamRecord& params = databases().params(4);
    for (auto _ : state) {
        EngineContext* context = nullptr;
        require(VrelInit(&context, &params) >= 0 && context != nullptr, "VrelInit");
        VrelClose(context);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// A fresh four-ink context given the prepared-table profile class (its key
// layout and empty caches), opened with the timer paused.
EngineContext* preparedClassContext(benchmark::State& state, EngineContext** previous) {
    state.PauseTiming();
    if (*previous != nullptr) {
        VrelClose(*previous);
    }
    EngineContext* context = openContext(4);
    vrel::testing::setProfileClass(context, 9);
    *previous = context;
    state.ResumeTiming();
    return context;
}

void rgb555BuilderCase(benchmark::State& state) {
    EngineContext* context = nullptr;
    for (auto _ : state) {
        preparedClassContext(state, &context);
        require(VrelInitColorConversion(context, VrelModeRgb555, nullptr) == VrelMethodFourColor,
                "VrelInitColorConversion");
    }
    VrelClose(context);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 32768);
}

// The same 32768 grid colours converted by runs: two calls of 16384 pixels,
// since one call converts at most 32767.
void distinctColoursCase(benchmark::State& state) {
    std::vector<uint8_t> colours;
    for (int r = 0; r < 32; ++r) {
        for (int g = 0; g < 32; ++g) {
            for (int b = 0; b < 32; ++b) {
                for (const int level : {r, g, b}) {
                    colours.push_back(static_cast<uint8_t>(8 * level + level / 4));
                }
            }
        }
    }
    std::vector<uint8_t> out(32768 * 4);
    EngineContext* context = nullptr;
    for (auto _ : state) {
        preparedClassContext(state, &context);
        for (int half = 0; half < 2; ++half) {
            require(VrelBitmapColorConversion(
                        VrelFormatRgb24, VrelFormatKymc32, colours.data() + half * 16384 * 3,
                        out.data() + half * 16384 * 4, 16384, 0, 0, 0, context) == VREL_OK,
                    "VrelBitmapColorConversion");
        }
        benchmark::DoNotOptimize(out.data());
    }
    VrelClose(context);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 32768);
}

} // namespace

void registerOtherCases() {
    for (const Workload w : kWorkloads) {
        benchmark::RegisterBenchmark(
            (std::string("CorrectionRgb24InPlace/") + workloadName(w)).c_str(), correctionCase, w);
    }
    benchmark::RegisterBenchmark("OnDotBlackFourColor/4Mpix", onDotCase);
    benchmark::RegisterBenchmark("Init/typical", initCase);
    benchmark::RegisterBenchmark("Rgb555Builder/32768", rgb555BuilderCase);
    benchmark::RegisterBenchmark("DistinctColoursRun/32768", distinctColoursCase);
}

} // namespace vrel::bench
