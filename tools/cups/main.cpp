// rastertovrel: the CUPS filter that turns RGB, grey or black raster pages
// into ink raster through the vrel engine.
//
//   rastertovrel job user title copies options [file]
//
// Raster comes from the file or standard input, ink raster goes to standard
// output, messages go to standard error as ERROR:, INFO:, DEBUG: and PAGE:
// lines. The database is the PPD's *vrelDatabase; each page's settings come
// from its header (see page_settings.h). Exit status 0 when every page was
// written, 1 otherwise. SIGTERM stops the job after the current line.
#include "engine_job.h"
#include "ink_layout.h"
#include "line_converter.h"
#include "page_settings.h"
#include "ppd_database.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <unistd.h>
#include <vector>

namespace {

using namespace vrel::cups;

// Planar pages are kept whole before they are written; beyond this size the
// page is refused rather than taking the machine's memory.
constexpr std::size_t kMaxPlanarPage = std::size_t{4} << 30;

volatile std::sig_atomic_t stopRequested = 0;

// Reads the input for the raster reader and notes the end of the file, which
// tells a finished job from a page header the reader refused.
struct Input {
    int fd = 0;
    bool ended = false;
};

ssize_t readInput(void* context, unsigned char* buffer, size_t length) {
    auto* input = static_cast<Input*>(context);
    ssize_t n;
    do {
        n = read(input->fd, buffer, length);
    } while (n < 0 && errno == EINTR);
    if (n == 0)
        input->ended = true;
    return n;
}

void onTerminate(int) {
    stopRequested = 1;
}

enum class PageEnd { Written, Stopped, Failed };

PageEnd writePage(cups_raster_t* in, cups_raster_t* out, cups_page_header2_t header, int page,
                  EngineJob& job) {
    if (const std::string problem = checkInputHeader(header); !problem.empty()) {
        std::fprintf(stderr, "ERROR: page %d: %s\n", page, problem.c_str());
        return PageEnd::Failed;
    }
    const PageSettings settings = settingsFromHeader(header);
    bool kept = false;
    std::string error;
    const int method = job.prepare(settings.params, &kept, &error);
    if (method < 0) {
        std::fprintf(stderr, "ERROR: page %d: %s\n", page, error.c_str());
        return PageEnd::Failed;
    }
    std::fprintf(stderr, "DEBUG: page %d: %s, method %d\n", page,
                 kept ? "engine context kept" : "engine context opened", method);
    if (method == VrelMethodBlack && inputChannels(header) != 1) {
        std::fprintf(stderr, "ERROR: page %d: the black-only profile takes grey or black raster\n",
                     page);
        return PageEnd::Failed;
    }
    InkLayout layout;
    if (const std::string problem = chooseLayout(method, settings, header.cupsWidth, &layout);
        !problem.empty()) {
        std::fprintf(stderr, "ERROR: page %d: %s\n", page, problem.c_str());
        return PageEnd::Failed;
    }

    const unsigned width = header.cupsWidth, height = header.cupsHeight;
    std::vector<uint8_t> input(header.cupsBytesPerLine);
    std::vector<uint8_t> output;
    std::vector<uint8_t> planar;
    try {
        if (layout.order == CUPS_ORDER_PLANAR) {
            const std::size_t bytes = std::size_t{layout.colourLineBytes} * height * layout.colours;
            if (bytes > kMaxPlanarPage) {
                std::fprintf(stderr, "ERROR: page %d: %zu bytes of planar ink raster is too much\n",
                             page, bytes);
                return PageEnd::Failed;
            }
            planar.resize(bytes);
        } else {
            output.resize(layout.bytesPerLine);
        }
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ERROR: page %d: out of memory\n", page);
        return PageEnd::Failed;
    }

    cups_page_header2_t outHeader = header;
    applyLayout(layout, &outHeader);
    if (!cupsRasterWriteHeader2(out, &outHeader)) {
        std::fprintf(stderr, "ERROR: page %d: cannot write the page header\n", page);
        return PageEnd::Failed;
    }
    LineConverter converter(job.context(), method, header, settings.bilevel);
    // Chunked inks with cyan first are the engine's packed formats: RGB
    // lines are converted straight into the output line.
    uint32_t packedFormat = 0;
    if (layout.order == CUPS_ORDER_CHUNKED && layout.bits == 8 && !settings.blackFirst &&
        inputChannels(header) == 3)
        packedFormat = layout.colours == 4   ? VrelFormatCmyk32
                       : layout.colours == 6 ? VrelFormatInk6
                       : layout.colours == 7 ? VrelFormatInk7
                                             : 0;
    // The time in the engine's calls against the whole page: what reading,
    // packing and writing the raster add to the conversion.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point pageStart = Clock::now();
    Clock::duration engineTime{};
    const std::size_t planeBytes = std::size_t{layout.colourLineBytes} * height;
    for (unsigned y = 0; y < height; ++y) {
        if (stopRequested) {
            std::fprintf(stderr, "INFO: stopped on request at line %u of page %d\n", y, page);
            return PageEnd::Stopped;
        }
        if (cupsRasterReadPixels(in, input.data(), header.cupsBytesPerLine) !=
            header.cupsBytesPerLine) {
            std::fprintf(stderr, "ERROR: page %d ends after %u of its %u lines\n", page, y, height);
            return PageEnd::Failed;
        }
        const Clock::time_point lineStart = Clock::now();
        const int result = packedFormat != 0
                               ? converter.convertPacked(input.data(), packedFormat, output.data())
                               : converter.convert(input.data(), y);
        engineTime += Clock::now() - lineStart;
        if (result != VREL_OK) {
            std::fprintf(stderr, "ERROR: page %d: the engine refused line %u (result %d)\n", page,
                         y, result);
            return PageEnd::Failed;
        }
        if (layout.order == CUPS_ORDER_PLANAR) {
            for (unsigned i = 0; i < layout.colours; ++i)
                std::memcpy(planar.data() + i * planeBytes +
                                std::size_t{y} * layout.colourLineBytes,
                            converter.planes()[static_cast<std::size_t>(layout.ink[i])],
                            layout.colourLineBytes);
            continue;
        }
        if (packedFormat == 0)
            packLine(layout, converter.planes(), width, output.data());
        if (cupsRasterWritePixels(out, output.data(), layout.bytesPerLine) != layout.bytesPerLine) {
            std::fprintf(stderr, "ERROR: page %d: cannot write line %u\n", page, y);
            return PageEnd::Failed;
        }
    }
    for (std::size_t offset = 0; offset < planar.size(); offset += layout.colourLineBytes) {
        if (cupsRasterWritePixels(out, planar.data() + offset, layout.colourLineBytes) !=
            layout.colourLineBytes) {
            std::fprintf(stderr, "ERROR: page %d: cannot write the planes\n", page);
            return PageEnd::Failed;
        }
    }
    const double total = std::chrono::duration<double>(Clock::now() - pageStart).count();
    const double engine = std::chrono::duration<double>(engineTime).count();
    std::fprintf(stderr,
                 "DEBUG: page %d: %u x %u pixels, %.3f s, of which %.3f s in the engine's "
                 "conversion (+%.1f %% for reading and writing raster)\n",
                 page, width, height, total, engine,
                 engine > 0 ? 100.0 * (total - engine) / engine : 0.0);
    return PageEnd::Written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: rastertovrel job user title copies options [file]\n");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);

    const char* ppd = std::getenv("PPD");
    DatabaseLocation database;
    if (const std::string problem = findDatabase(ppd ? ppd : "", &database); !problem.empty()) {
        std::fprintf(stderr, "ERROR: %s\n", ppd ? problem.c_str() : "no PPD given (PPD is unset)");
        return 1;
    }
    Input input;
    if (argc == 7 && (input.fd = open(argv[6], O_RDONLY)) < 0) {
        std::fprintf(stderr, "ERROR: cannot open the raster file '%s'\n", argv[6]);
        return 1;
    }
    cups_raster_t* in = cupsRasterOpenIO(readInput, &input, CUPS_RASTER_READ);
    cups_raster_t* out = cupsRasterOpen(1, CUPS_RASTER_WRITE);
    EngineJob job(database.directory, database.name);
    cups_page_header2_t header;
    int page = 0;
    PageEnd end = PageEnd::Written;
    while (end == PageEnd::Written && cupsRasterReadHeader2(in, &header)) {
        ++page;
        std::fprintf(stderr, "INFO: converting page %d\n", page);
        end = writePage(in, out, header, page, job);
        if (end == PageEnd::Written)
            std::fprintf(stderr, "PAGE: %d %u\n", page,
                         header.NumCopies > 0 ? header.NumCopies : 1);
    }
    cupsRasterClose(in);
    cupsRasterClose(out);
    if (input.fd != 0)
        close(input.fd);
    if (end == PageEnd::Failed)
        return 1;
    if (end == PageEnd::Written && !input.ended) {
        std::fprintf(stderr,
                     "ERROR: the header of page %d is damaged (sizes, depth or colour space that "
                     "CUPS raster does not allow)\n",
                     page + 1);
        return 1;
    }
    if (page == 0) {
        std::fprintf(stderr, "ERROR: no raster page in the input\n");
        return 1;
    }
    if (end == PageEnd::Written)
        std::fprintf(stderr, "INFO: %d page%s converted\n", page, page == 1 ? "" : "s");
    return 0;
}
