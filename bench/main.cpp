// vrel_bench: every case of the suite, with the lcms2 and memcpy peers
// measured in the same process. The peers' per-page times behind the
// vs_lcms2 / vs_memcpy counters are measured once, on first use, before the
// case that needs them starts its timer.
#include "bench_databases.h"
#include "cases.h"
#include "workloads.h"

#include <benchmark/benchmark.h>
#include <cstdio>

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    vrel::bench::databases(); // write the databases before any case runs
    for (const vrel::bench::Workload w : vrel::bench::kWorkloads) {
        benchmark::AddCustomContext(
            std::string("workload_") + vrel::bench::workloadName(w),
            std::to_string(vrel::bench::distinctColours(vrel::bench::rgbPage(w))) +
                " distinct colours");
    }
    vrel::bench::registerConversionCases();
    vrel::bench::registerOtherCases();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
