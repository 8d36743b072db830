// Helpers shared by the benchmark cases: one fresh context per page, and the
// counters that relate a vrel case to its peers.
#pragma once

#include "bench_databases.h"

#include <benchmark/benchmark.h>
#include <vrel/vrel.h>

namespace vrel::bench {

// A driver opens one context per page, so every timed page starts on a
// fresh context with an empty colour cache: the context of the previous
// page is closed and a new one opened with the timer paused.
class ContextPerPage {
  public:
    explicit ContextPerPage(int method) : method_(method) {}
    ~ContextPerPage() { close(); }
    ContextPerPage(const ContextPerPage&) = delete;
    ContextPerPage& operator=(const ContextPerPage&) = delete;

    EngineContext* fresh(benchmark::State& state) {
        state.PauseTiming();
        close();
        context_ = openContext(method_);
        state.ResumeTiming();
        return context_;
    }

  private:
    void close() {
        if (context_ != nullptr) {
            VrelClose(context_);
            context_ = nullptr;
        }
    }
    int method_;
    EngineContext* context_ = nullptr;
};

// Pixels per second, and the time ratio of a peer to this case: the peer's
// seconds for one page times the pages done, as a rate over the case's own
// CPU time, is peer time / vrel time (above 1: vrel is faster).
inline void reportPages(benchmark::State& state, size_t pixelsPerPage) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(pixelsPerPage));
}
inline void reportRatio(benchmark::State& state, const char* name, double peerSecondsPerPage) {
    state.counters[name] = benchmark::Counter(
        peerSecondsPerPage * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace vrel::bench
