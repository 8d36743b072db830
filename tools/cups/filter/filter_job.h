// The filter's job: every page of the raster input in turn, then how the
// input ended. Exit status 0 when every page was written and the stream
// ended cleanly after the last one, or when the job was stopped on request
// (a cancelled job is not a failed one); 1 on any fault, after an ERROR: line.
#pragma once

#include "engine_job.h"

#include <csignal>
#include <cstdint>
#include <cstdio>

namespace vrel::cups {

// Reads raster from inputFd, writes ink raster to outputFd and messages to
// log. stop is set (by a signal handler) to stop the job at the next read,
// write or band of lines. A page that would take the pixels converted beyond
// maxPixels (0: no limit; the fuzz target's bound on time) fails the job.
// Each page written gives a PAGE: line when pageLines is set; a filter that
// hands its ink raster to another one leaves the page count to that one.
int convertJob(int inputFd, int outputFd, EngineJob& engine, std::FILE* log,
               const volatile std::sig_atomic_t* stop, uint64_t maxPixels = 0,
               bool pageLines = true);

} // namespace vrel::cups
