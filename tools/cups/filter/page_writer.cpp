#include "page_writer.h"

#include "band_reader.h"
#include "common/write_text.h"
#include "ink_layout.h"
#include "line_converter.h"
#include "page_settings.h"
#include "planar_page.h"

#include <algorithm>
#include <chrono>
#include <fmt/format.h>
#include <new>
#include <optional>
#include <sys/resource.h>
#include <vector>

namespace vrel::cups {

using vrel::tools::writeText;

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
        return fmt::format("its {} pixels are more than the job may convert",
                           uint64_t{p.width} * p.height);
    job.pixelsLeft -= uint64_t{p.width} * p.height;
    bool kept = false;
    std::string error;
    plan->method = job.engine.prepare(p.settings.params, &kept, &error);
    if (plan->method < 0)
        return error;
    writeText(job.log, "DEBUG: page {}: {}, method {}\n", page,
              kept ? "engine context kept" : "engine context opened", plan->method);
    if (plan->method == VrelMethodBlack && p.channels != 1)
        return "the black-only profile takes grey or black raster";
    if (std::string problem = chooseLayout(plan->method, p.settings, p.width, &plan->layout);
        !problem.empty())
        return problem;
    const InkLayout& l = plan->layout;
    if (l.order == CUPS_ORDER_PLANAR &&
        std::size_t{l.colourLineBytes} * p.height * l.colours > kMaxPlanarPage)
        return fmt::format("{} bytes of planar ink raster is too much",
                           std::size_t{l.colourLineBytes} * p.height * l.colours);
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
        writeText(job.log, "INFO: stopped on request while writing page {}\n", page);
        return PageEnd::Stopped;
    }
    writeText(job.log, "ERROR: page {}: cannot write {}\n", page, what);
    return PageEnd::Failed;
}

// Times of one page, for its DEBUG line. The clocks are read once a band,
// not once a line: the line is written for every page (the scheduler, not
// the filter, decides which DEBUG lines are kept), so its cost must be small
// next to the conversion's.
struct PageTimes {
    Clock::time_point start = Clock::now();
    double processStart = cpuSeconds(RUSAGE_SELF), threadStart = cpuSeconds(RUSAGE_THREAD);
    Clock::duration engine{}, wait{};

    // The page's wall time, the part of it converting lines (the engine's
    // calls and the packing of their inks) and the part spent waiting for
    // input raster; then the CPU time of all threads and of the converting
    // thread (the conversion and the writes).
    void report(std::FILE* log, int page, const PageHeader& p) const {
        const auto seconds = [](Clock::duration d) {
            return std::chrono::duration<double>(d).count();
        };
        const double total = seconds(Clock::now() - start), inEngine = seconds(engine);
        writeText(log,
                  "DEBUG: page {}: {} x {} pixels, {:.3f} s, of which {:.3f} s in the engine's "
                  "conversion (+{:.1f} % for reading and writing raster; {:.3f} s waiting for "
                  "input; CPU {:.3f} s, {:.3f} s on the converting thread)\n",
                  page, p.width, p.height, total, inEngine,
                  inEngine > 0 ? 100.0 * (total - inEngine) / inEngine : 0.0, seconds(wait),
                  cpuSeconds(RUSAGE_SELF) - processStart, cpuSeconds(RUSAGE_THREAD) - threadStart);
    }
};

// A planned page being converted: what its lines are converted with and
// where its ink lines go (a band of chunked lines, or the planes of the
// whole page).
struct PageRun {
    PageRun(Job& job, const cups_page_header2_t& header, int page, const PagePlan& plan,
            unsigned bandLines)
        : job(job), header(header), page(page), plan(plan),
          planar(plan.layout.order == CUPS_ORDER_PLANAR),
          planes(planar ? plan.layout.colours : 0, plan.layout.colourLineBytes),
          converter(job.engine.context(), plan.method, plan.page) {
        if (!planar)
            output.resize(std::size_t{plan.layout.bytesPerLine} * bandLines);
    }

    Job& job;
    const cups_page_header2_t& header;
    const int page;
    const PagePlan& plan;
    const bool planar;
    std::vector<uint8_t> output;
    PlanarPage planes;
    LineConverter converter;
    PageTimes times;
};

// The next band of input lines from line `y` on, or how the page ends when
// the job is stopped or the raster ends early.
std::optional<PageEnd> nextBand(PageRun& run, BandReader& reader, unsigned y,
                                BandReader::Band* band) {
    bool stopped = false;
    const Clock::time_point waitStart = Clock::now();
    *band = reader.next(*run.job.stop, &stopped);
    run.times.wait += Clock::now() - waitStart;
    if (stopped) {
        writeText(run.job.log, "INFO: stopped on request at line {} of page {}\n", y, run.page);
        return PageEnd::Stopped;
    }
    if (band->count == 0) {
        writeText(run.job.log, "ERROR: page {} ends after {} of its {} lines\n", run.page,
                  reader.linesRead(), run.plan.page.height);
        return PageEnd::Failed;
    }
    return std::nullopt;
}

// Converts the band's lines, which start at line `y`, into the band of
// output lines or the planes; false when the engine refuses one.
bool convertBand(PageRun& run, const BandReader::Band& band, unsigned y) {
    const PagePlan& plan = run.plan;
    const Clock::time_point start = Clock::now();
    for (unsigned i = 0; i < band.count; ++i) {
        const unsigned line = y + i;
        const uint8_t* source = band.lines + std::size_t{i} * plan.page.bytesPerLine;
        uint8_t* target =
            run.planar ? nullptr : run.output.data() + std::size_t{i} * plan.layout.bytesPerLine;
        const int result = plan.packedFormat != 0
                               ? run.converter.convertPacked(source, plan.packedFormat, target)
                               : run.converter.convert(source, line);
        if (result != VREL_OK) {
            writeText(run.job.log, "ERROR: page {}: the engine refused line {} (result {})\n",
                      run.page, line, result);
            return false;
        }
        if (run.planar)
            run.planes.append(run.converter.planes(), plan.layout.ink);
        else if (plan.packedFormat == 0)
            packLine(plan.layout, run.converter.planes(), plan.page.width, target);
    }
    run.times.engine += Clock::now() - start;
    return true;
}

// Writes a band of `count` chunked ink lines that start at line `y`, after
// the page header with the first band; how the page ends when that fails.
std::optional<PageEnd> writeBand(PageRun& run, unsigned y, unsigned count) {
    if (y == 0 && !writeHeader(run.job, run.header, run.plan.layout))
        return stoppedOrFailed(run.job, run.page, "the page header");
    const auto bytes = static_cast<unsigned>(std::size_t{run.plan.layout.bytesPerLine} * count);
    if (cupsRasterWritePixels(run.job.output.stream(), run.output.data(), bytes) != bytes)
        return stoppedOrFailed(run.job, run.page, "its lines");
    return std::nullopt;
}

// Writes the page header and the whole page's planes, one after another.
PageEnd writePlanes(PageRun& run) {
    const InkLayout& layout = run.plan.layout;
    if (!writeHeader(run.job, run.header, layout))
        return stoppedOrFailed(run.job, run.page, "the page header");
    for (unsigned c = 0; c < run.planes.colours(); ++c)
        for (std::size_t at = 0; at < run.planes.plane(c).size(); at += layout.colourLineBytes)
            if (cupsRasterWritePixels(run.job.output.stream(),
                                      const_cast<uint8_t*>(run.planes.plane(c).data() + at),
                                      layout.colourLineBytes) != layout.colourLineBytes)
                return stoppedOrFailed(run.job, run.page, "the planes");
    return PageEnd::Written;
}

// Reads, converts and writes the lines of a planned page.
PageEnd convertPage(Job& job, const cups_page_header2_t& header, int page, const PagePlan& plan) {
    const PageHeader& p = plan.page;
    // Lines are read, converted and written a band at a time: one read of
    // the next bands overlaps the conversion and each band is one write.
    const unsigned bandLines = std::clamp<unsigned>(
        static_cast<unsigned>(kBandBytes / std::max(p.bytesPerLine, plan.layout.bytesPerLine)), 1u,
        p.height);
    PageRun run(job, header, page, plan, bandLines);
    BandReader reader(job.in, job.input, p.bytesPerLine, p.height, bandLines);
    for (unsigned y = 0; y < p.height;) {
        BandReader::Band band;
        if (const auto end = nextBand(run, reader, y, &band))
            return *end;
        if (!convertBand(run, band, y))
            return PageEnd::Failed;
        reader.release();
        if (!run.planar)
            if (const auto end = writeBand(run, y, band.count))
                return *end;
        y += band.count;
    }
    if (run.planar)
        if (const PageEnd end = writePlanes(run); end != PageEnd::Written)
            return end;
    run.times.report(job.log, page, p);
    return PageEnd::Written;
}

} // namespace

PageEnd writePage(Job& job, const cups_page_header2_t& header, int page, unsigned* copies) {
    PagePlan plan;
    if (const std::string problem = planPage(job, header, page, &plan); !problem.empty()) {
        writeText(job.log, "ERROR: page {}: {}\n", page, problem);
        return PageEnd::Failed;
    }
    *copies = plan.page.copies;
    try {
        return convertPage(job, header, page, plan);
    } catch (const std::bad_alloc&) {
        writeText(job.log, "ERROR: page {}: out of memory\n", page);
        return PageEnd::Failed;
    }
}

} // namespace vrel::cups
