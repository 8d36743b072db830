#include "filter_job.h"

#include "common/write_text.h"
#include "page_writer.h"
#include "raster_input.h"
#include "raster_output.h"

namespace vrel::cups {

using vrel::tools::writeText;

namespace {

// After the last page that was read: whether the input ended where a page
// header could start (exit 0) or was cut or damaged there (exit 1).
int endOfInput(const RasterInput& input, int pages, std::FILE* log) {
    if (input.endedCleanly()) {
        writeText(log, "INFO: {} page{} converted\n", pages, pages == 1 ? "" : "s");
        return 0;
    }
    if (pages == 0 && input.ended && input.bytes == input.headerStart) {
        writeText(log, "ERROR: no raster page in the input\n");
        return 1;
    }
    if (input.ended && pages == 0)
        writeText(log, "ERROR: the input ends within the first page header\n");
    else if (input.ended)
        writeText(log,
                  "ERROR: the input ends with damage after page {} (a cut page header or stray "
                  "bytes)\n",
                  pages);
    else
        writeText(log,
                  "ERROR: the header of page {} is damaged (sizes, depth or colour space that "
                  "CUPS raster does not allow)\n",
                  pages + 1);
    return 1;
}

} // namespace

int convertJob(int inputFd, int outputFd, EngineJob& engine, std::FILE* log,
               const volatile std::sig_atomic_t* stop, uint64_t maxPixels, bool pageLines) {
    RasterInput input(inputFd, stop);
    RasterOutput output(outputFd, stop);
    cups_raster_t* in = cupsRasterOpenIO(readRasterInput, &input, CUPS_RASTER_READ);
    if (in == nullptr) {
        if (input.stopped)
            writeText(log, "INFO: stopped on request before the first page\n");
        else if (input.bytes == 0)
            writeText(log, "ERROR: no raster page in the input\n");
        else
            writeText(log, "ERROR: the input is not CUPS raster (no raster sync word)\n");
        return input.stopped ? 0 : 1;
    }
    Job job{in, input, output, engine, log, stop, maxPixels != 0 ? maxPixels : UINT64_MAX};
    cups_page_header2_t header;
    int page = 0;
    PageEnd end = PageEnd::Written;
    for (;;) {
        input.startHeader();
        const bool read = cupsRasterReadHeader2(in, &header) != 0;
        input.endHeader();
        if (!read)
            break;
        ++page;
        writeText(log, "INFO: converting page {}\n", page);
        unsigned copies = 1;
        end = writePage(job, header, page, &copies);
        if (end != PageEnd::Written)
            break;
        if (pageLines)
            writeText(log, "PAGE: {} {}\n", page, copies);
    }
    cupsRasterClose(in);
    if (end == PageEnd::Written && input.stopped) {
        writeText(log, "INFO: stopped on request while waiting for page {}\n", page + 1);
        end = PageEnd::Stopped;
    }
    if (end != PageEnd::Written)
        return end == PageEnd::Stopped ? 0 : 1;
    return endOfInput(input, page, log);
}

} // namespace vrel::cups
