#include "raster_planes.h"

#include "cli_error.h"
#include "files/input_file.h"
#include "files/output_set.h"
#include "png_rows.h"
#include "raster_page.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace vrel::cli {

namespace {

// The descriptor libcups reads through, with what the reads met: whether
// the end of the input was reached and how many bytes came since the last
// page ended, to tell a clean end from a header cut short.
struct RasterSource {
    int fd = -1;
    int error = 0;
    bool ended = false;
    uint64_t sincePage = 0;

    static ssize_t read(void* context, unsigned char* buffer, size_t length) {
        auto* self = static_cast<RasterSource*>(context);
        for (;;) {
            const ssize_t got = ::read(self->fd, buffer, length);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                self->error = errno;
            self->ended = got == 0;
            self->sincePage += got > 0 ? static_cast<uint64_t>(got) : 0;
            return got;
        }
    }
};

struct RasterCloser {
    void operator()(cups_raster_t* raster) const { cupsRasterClose(raster); }
};

class PlaneWriter {
  public:
    PlaneWriter(const std::string& rasterPath, const std::string& dir)
        : rasterPath_(rasterPath), dir_(dir) {}

    // Reads every page and stages its planes; returns the file names.
    std::vector<std::string> run(cups_raster_t* raster, RasterSource& source);
    void commit() { outputs_.commit(); }
    void createDirectories() { outputs_.createDirectories(dir_); }

  private:
    std::string where(int page) const { return fmt::format("page {} of '{}'", page, rasterPath_); }
    void writePage(cups_raster_t* raster, const InkPage& ink, int page);

    std::string rasterPath_, dir_;
    OutputSet outputs_;
    std::vector<std::string> written_;
};

std::vector<std::string> PlaneWriter::run(cups_raster_t* raster, RasterSource& source) {
    for (int page = 1;; ++page) {
        cups_page_header2_t header;
        if (!cupsRasterReadHeader2(raster, &header)) {
            if (source.error)
                throw CliError("cannot read " + where(page) + ": " + std::strerror(source.error));
            if (source.ended && source.sincePage == 0 && page > 1)
                return written_;
            throw CliError(source.ended ? where(page) + " is cut short in its header"
                                        : where(page) + ": libcups refuses its header");
        }
        InkPage ink;
        const std::string problem = checkInkPage(header, &ink);
        if (!problem.empty())
            throw CliError(where(page) + " is not ink raster: " + problem);
        writePage(raster, ink, page);
        source.sincePage = 0;
    }
}

void PlaneWriter::writePage(cups_raster_t* raster, const InkPage& ink, int page) {
    std::vector<std::unique_ptr<PngRowWriter>> planes;
    for (unsigned c = 0; c < ink.colours; ++c) {
        const std::string name = fmt::format("page{}-colour{}-{}.png", page, c, ink.names[c]);
        auto& out = outputs_.add((std::filesystem::path(dir_) / name).string());
        planes.push_back(std::make_unique<PngRowWriter>(out, ink.width, ink.height));
        written_.push_back(name);
    }
    std::vector<uint8_t> line(ink.bytesPerLine), grey(ink.width);
    for (uint64_t n = 0; n < ink.lines(); ++n) {
        if (cupsRasterReadPixels(raster, line.data(), ink.bytesPerLine) != ink.bytesPerLine)
            throw CliError(
                fmt::format("{} is cut short at line {} of {}", where(page), n + 1, ink.lines()));
        const bool planar = ink.order == CUPS_ORDER_PLANAR;
        const unsigned first = planar ? static_cast<unsigned>(n / ink.height) : 0;
        const unsigned end = planar ? first + 1 : ink.colours;
        for (unsigned c = first; c < end; ++c) {
            ink.greyRow(line.data(), c, grey.data());
            planes[c]->row(grey.data());
            // A planar page's colour is complete after its last line.
            if (planar && (n + 1) % ink.height == 0)
                planes[c]->finish();
        }
    }
    if (ink.order != CUPS_ORDER_PLANAR)
        for (auto& plane : planes)
            plane->finish();
}

} // namespace

std::vector<std::string> writeRasterPlanes(const std::string& rasterPath, const std::string& dir) {
    std::unique_ptr<InputFile> file;
    RasterSource source;
    if (rasterPath == "-") {
        source.fd = STDIN_FILENO;
    } else {
        file = std::make_unique<InputFile>(rasterPath, "raster");
        source.fd = file->descriptor();
    }
    std::unique_ptr<cups_raster_t, RasterCloser> raster(
        cupsRasterOpenIO(RasterSource::read, &source, CUPS_RASTER_READ));
    if (!raster)
        throw CliError(source.error ? "cannot read raster '" + rasterPath +
                                          "': " + std::strerror(source.error)
                                    : "'" + rasterPath + "' is not CUPS raster (no sync word)");
    // Every plane of every page appears together, or none does.
    PlaneWriter writer(rasterPath, dir);
    writer.createDirectories();
    auto written = writer.run(raster.get(), source);
    writer.commit();
    return written;
}

void addRasterCommand(CLI::App& app) {
    struct Options {
        std::string input, dir;
    };
    auto options = std::make_shared<Options>();
    auto* raster = app.add_subcommand(
        "raster", "Write each colour of an ink raster file (from the CUPS filter rastertovrel) "
                  "as a greyscale PNG, black where the ink is full");
    raster->add_option("FILE", options->input, "CUPS raster, version 1, 2 or 3 (- for stdin)")
        ->required();
    raster->add_option("--planes", options->dir, "folder for the PNGs (created)")->required();
    raster->callback([options] {
        for (const auto& name : writeRasterPlanes(options->input, options->dir))
            std::cout << name << "\n";
    });
}

} // namespace vrel::cli
