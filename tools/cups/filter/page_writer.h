// Converts one raster page into ink raster: checks its header, prepares the
// engine, reads its lines a band at a time, converts them and writes the ink
// raster. A page's header is written only with its first converted lines, so
// a page refused before its first line writes nothing.
#pragma once

#include "engine_job.h"
#include "raster_input.h"
#include "raster_output.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cups/raster.h>

namespace vrel::cups {

// What a job reads from and writes to.
struct Job {
    cups_raster_t* in;
    RasterInput& input;
    RasterOutput& output;
    EngineJob& engine;
    std::FILE* log;                         // ERROR:, INFO:, DEBUG: and PAGE: lines
    const volatile std::sig_atomic_t* stop; // set on SIGTERM
    uint64_t pixelsLeft;                    // the pixels the job may still convert
};

enum class PageEnd { Written, Stopped, Failed };

// Converts page number `page`, whose header was just read; *copies is the
// number of copies it asks for (see PageHeader).
PageEnd writePage(Job& job, const cups_page_header2_t& header, int page, unsigned* copies);

} // namespace vrel::cups
