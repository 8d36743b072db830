#include "page_writer.h"

#include "band_reader.h"
#include "ink_layout.h"
#include "line_converter.h"
#include "page_settings.h"
#include "planar_page.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <sys/resource.h>
#include <vector>

namespace vrel::cups {

namespace {

// A planar page is kept whole before it is written (see PlanarPage); one
// whose ink raster would be larger than this is refused from its header.
constexpr std::size_t kMaxPlanarPage = std::size_t{4} << 30;

// Bytes of input or output raster in one band.
constexpr std::size_t kBandBytes = std::size_t{256} << 10;

using Clock = std::chrono::steady_clock;

// User and system time of the process or the calling thread.
double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One page on its way: the checked header, the engine's method and the
// layout of the ink raster.
struct PagePlan {
    PageHeader page;
    int method = 0;
    InkLayout layout;
    uint32_t packedFormat = 0; // the engine's packed output format, or 0
};

// Checks the header and prepares the engine; empty on success, otherwise
// the problem.
std::string planPage(Job& job, const cups_page_header2_t& header, int page, PagePlan* plan) {
    if (std::string problem = readPageHeader(header, &plan->page); !problem.empty())
        return problem;
    const PageHeader& p = plan->page;
    if (uint64_t{p.width} * p.height > job.pixelsLeft)
        return "its " + std::to_string(uint64_t{p.width} * p.height) +
               " pixels are more than the job may convert";
    job.pixelsLeft -= uint64_t{p.width} * p.height;
    bool kept = false;
    std::string error;
    plan->method = job.engine.prepare(p.settings.params, &kept, &error);
    if (plan->method < 0)
        return error;
    std::fprintf(job.log, "DEBUG: page %d: %s, method %d\n", page,
                 kept ? "engine context kept" : "engine context opened", plan->method);
    if (plan->method == VrelMethodBlack && p.channels != 1)
        return "the black-only profile takes grey or black raster";
    if (std::string problem = chooseLayout(plan->method, p.settings, p.width, &plan->layout);
        !problem.empty())
        return problem;
    const InkLayout& l = plan->layout;
    if (l.order == CUPS_ORDER_PLANAR &&
        std::size_t{l.colourLineBytes} * p.height * l.colours > kMaxPlanarPage)
        return std::to_string(std::size_t{l.colourLineBytes} * p.height * l.colours) +
               " bytes of planar ink raster is too much";
    // Chunked inks with cyan first are the engine's packed formats: RGB
    // lines are converted straight into the output band.
    if (l.order == CUPS_ORDER_CHUNKED && l.bits == 8 && !p.settings.blackFirst && p.channels == 3)
        plan->packedFormat = l.colours == 4   ? VrelFormatCmyk32
                             : l.colours == 6 ? VrelFormatInk6
                             : l.colours == 7 ? VrelFormatInk7
                                              : 0;
    return {};
}

// Writes the ink raster's page header, opening the output stream with the
// first one.
bool writeHeader(Job& job, const cups_page_header2_t& header, const InkLayout& layout) {
    cups_page_header2_t outHeader = header;
    applyLayout(layout, &outHeader);
    cups_raster_t* out = job.output.stream();
    return out != nullptr && cupsRasterWriteHeader2(out, &outHeader);
}

PageEnd stoppedOrFailed(Job& job, int page, const char* what) {
    if (job.output.stopped()) {
        std::fprintf(job.log, "INFO: stopped on request while writing page %d\n", page);
        return PageEnd::Stopped;
    }
    std::fprintf(job.log, "ERROR: page %d: cannot write %s\n", page, what);
    return PageEnd::Failed;
}

// Times of one page, for its DEBUG line.
struct PageTimes {
    Clock::time_point start = Clock::now();
    double processStart = cpuSeconds(RUSAGE_SELF), threadStart = cpuSeconds(RUSAGE_THREAD);
    Clock::duration engine{}, wait{};

    // The page's wall time, the part of it in the engine's calls and the
    // part spent waiting for input raster; then the CPU time of all threads
    // and of the converting thread (the engine's calls and the writes).
    void report(std::FILE* log, int page, const PageHeader& p) const {
        const auto seconds = [](Clock::duration d) {
            return std::chrono::duration<double>(d).count();
        };
        const double total = seconds(Clock::now() - start), inEngine = seconds(engine);
        std::fprintf(log,
                     "DEBUG: page %d: %u x %u pixels, %.3f s, of which %.3f s in the engine's "
                     "conversion (+%.1f %% for reading and writing raster; %.3f s waiting for "
                     "input; CPU %.3f s, %.3f s on the converting thread)\n",
                     page, p.width, p.height, total, inEngine,
                     inEngine > 0 ? 100.0 * (total - inEngine) / inEngine : 0.0, seconds(wait),
                     cpuSeconds(RUSAGE_SELF) - processStart,
                     cpuSeconds(RUSAGE_THREAD) - threadStart);
    }
};

// Reads, converts and writes the lines of a planned page.
PageEnd convertPage(Job& job, const cups_page_header2_t& header, int page, const PagePlan& plan) {
    const PageHeader& p = plan.page;
    const InkLayout& layout = plan.layout;
    const bool planar = layout.order == CUPS_ORDER_PLANAR;
    // Lines are read, converted and written a band at a time: one read of
    // the next bands overlaps the conversion and each band is one write.
    const unsigned bandLines = std::clamp<unsigned>(
        static_cast<unsigned>(kBandBytes / std::max(p.bytesPerLine, layout.bytesPerLine)), 1u,
        p.height);
    std::vector<uint8_t> output;
    PlanarPage planes(planar ? layout.colours : 0, layout.colourLineBytes);
    LineConverter converter(job.engine.context(), plan.method, p);
    if (!planar)
        output.resize(std::size_t{layout.bytesPerLine} * bandLines);
    PageTimes times;
    BandReader reader(job.in, job.input, p.bytesPerLine, p.height, bandLines);
    for (unsigned y = 0; y < p.height;) {
        bool stopped = false;
        const Clock::time_point waitStart = Clock::now();
        const BandReader::Band band = reader.next(*job.stop, &stopped);
        times.wait += Clock::now() - waitStart;
        if (stopped) {
            std::fprintf(job.log, "INFO: stopped on request at line %u of page %d\n", y, page);
            return PageEnd::Stopped;
        }
        if (band.count == 0) {
            std::fprintf(job.log, "ERROR: page %d ends after %u of its %u lines\n", page,
                         reader.linesRead(), p.height);
            return PageEnd::Failed;
        }
        for (unsigned i = 0; i < band.count; ++i) {
            const unsigned line = y + i;
            const uint8_t* source = band.lines + std::size_t{i} * p.bytesPerLine;
            uint8_t* target =
                planar ? nullptr : output.data() + std::size_t{i} * layout.bytesPerLine;
            const Clock::time_point lineStart = Clock::now();
            const int result = plan.packedFormat != 0
                                   ? converter.convertPacked(source, plan.packedFormat, target)
                                   : converter.convert(source, line);
            times.engine += Clock::now() - lineStart;
            if (result != VREL_OK) {
                std::fprintf(job.log, "ERROR: page %d: the engine refused line %u (result %d)\n",
                             page, line, result);
                return PageEnd::Failed;
            }
            if (planar)
                planes.append(converter.planes(), layout.ink);
            else if (plan.packedFormat == 0)
                packLine(layout, converter.planes(), p.width, target);
        }
        reader.release();
        if (!planar) {
            if (y == 0 && !writeHeader(job, header, layout))
                return stoppedOrFailed(job, page, "the page header");
            const auto bytes = static_cast<unsigned>(std::size_t{layout.bytesPerLine} * band.count);
            if (cupsRasterWritePixels(job.output.stream(), output.data(), bytes) != bytes)
                return stoppedOrFailed(job, page, "its lines");
        }
        y += band.count;
    }
    if (planar) {
        if (!writeHeader(job, header, layout))
            return stoppedOrFailed(job, page, "the page header");
        for (unsigned c = 0; c < planes.colours(); ++c)
            for (std::size_t at = 0; at < planes.plane(c).size(); at += layout.colourLineBytes)
                if (cupsRasterWritePixels(job.output.stream(),
                                          const_cast<uint8_t*>(planes.plane(c).data() + at),
                                          layout.colourLineBytes) != layout.colourLineBytes)
                    return stoppedOrFailed(job, page, "the planes");
    }
    times.report(job.log, page, p);
    return PageEnd::Written;
}

} // namespace

PageEnd writePage(Job& job, const cups_page_header2_t& header, int page, unsigned* copies) {
    PagePlan plan;
    if (const std::string problem = planPage(job, header, page, &plan); !problem.empty()) {
        std::fprintf(job.log, "ERROR: page %d: %s\n", page, problem.c_str());
        return PageEnd::Failed;
    }
    *copies = plan.page.copies;
    try {
        return convertPage(job, header, page, plan);
    } catch (const std::bad_alloc&) {
        std::fprintf(job.log, "ERROR: page %d: out of memory\n", page);
        return PageEnd::Failed;
    }
}

} // namespace vrel::cups
