#include "raster_planes.h"

#include "cli_error.h"
#include "image.h"
#include "image_write.h"
#include "input_file.h"
#include "output_set.h"

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

namespace vrel::cli {

namespace {

// The page header is 1796 bytes; the fields read here are 32-bit words.
constexpr std::size_t kHeaderBytes = 1796;
constexpr std::size_t kWidth = 372, kHeight = 376, kBitsPerColour = 384, kBytesPerLine = 392,
                      kOrder = 396, kSpace = 400, kColours = 420;

struct Reader {
    std::vector<uint8_t> bytes;
    std::size_t at = 4;
    bool swap = false;

    uint32_t word(std::size_t header, std::size_t offset) const {
        uint32_t v;
        std::memcpy(&v, bytes.data() + header + offset, 4);
        return swap ? __builtin_bswap32(v) : v;
    }
};

std::vector<std::string> colourNames(uint32_t space, uint32_t colours) {
    switch (space) {
    case 3: // K
        return {"black"};
    case 6: // CMYK
        return {"cyan", "magenta", "yellow", "black"};
    case 8: // KCMY
        return {"black", "cyan", "magenta", "yellow"};
    default: {
        std::vector<std::string> names;
        for (uint32_t i = 0; i < colours; ++i)
            names.push_back("colour" + std::to_string(i));
        return names;
    }
    }
}

} // namespace

std::vector<std::string> writeRasterPlanes(const std::string& rasterPath, const std::string& dir) {
    Reader r;
    r.bytes = readInputFile(rasterPath, "raster");
    if (r.bytes.size() < 4)
        throw CliError("'" + rasterPath + "' is not CUPS raster");
    const std::string sync(r.bytes.begin(), r.bytes.begin() + 4);
    const bool little = sync == "3SaR" || sync == "tSaR";
    if (!little && sync != "RaS3" && sync != "RaSt")
        throw CliError("'" + rasterPath + "' is not uncompressed CUPS raster (version 1 or 3)");
    r.swap = little != (std::endian::native == std::endian::little);
    // Every plane of every page appears together, or none does.
    OutputSet outputs;
    outputs.createDirectories(dir);
    std::vector<std::string> written;
    for (int page = 1; r.at < r.bytes.size(); ++page) {
        if (r.bytes.size() - r.at < kHeaderBytes)
            throw CliError("page " + std::to_string(page) + " of '" + rasterPath +
                           "' is cut short");
        const std::size_t h = r.at;
        const uint32_t width = r.word(h, kWidth), height = r.word(h, kHeight);
        const uint32_t bits = r.word(h, kBitsPerColour), line = r.word(h, kBytesPerLine);
        const uint32_t order = r.word(h, kOrder), colours = r.word(h, kColours);
        const uint64_t colourLine = bits == 1 ? (uint64_t{width} + 7) / 8 : width;
        const uint64_t expectedLine = order == 0   ? (uint64_t{width} * colours * bits + 7) / 8
                                      : order == 1 ? colourLine * colours
                                                   : colourLine;
        if ((bits != 8 && bits != 1) || colours < 1 || colours > 15 || order > 2 || width == 0 ||
            width > 1'000'000 || line != expectedLine)
            throw CliError("page " + std::to_string(page) +
                           " is not an ink raster of 1 or 8 bits per colour");
        const uint64_t dataBytes = uint64_t{line} * height * (order == 2 ? colours : 1);
        if (r.bytes.size() - h - kHeaderBytes < dataBytes)
            throw CliError("page " + std::to_string(page) + " of '" + rasterPath +
                           "' is cut short");
        const uint8_t* data = r.bytes.data() + h + kHeaderBytes;
        const auto names = colourNames(r.word(h, kSpace), colours);
        for (uint32_t c = 0; c < colours; ++c) {
            Image plane(static_cast<int>(width), static_cast<int>(height), 1);
            for (uint32_t y = 0; y < height; ++y)
                for (uint32_t x = 0; x < width; ++x) {
                    // Bit (or byte) number of this colour's sample within its run.
                    uint64_t sample, base;
                    if (order == 0) {
                        base = uint64_t{y} * line;
                        sample = uint64_t{x} * colours + c;
                    } else if (order == 1) {
                        base = uint64_t{y} * line + c * colourLine;
                        sample = x;
                    } else {
                        base = (uint64_t{c} * height + y) * line;
                        sample = x;
                    }
                    const uint8_t ink =
                        bits == 8 ? data[base + sample]
                                  : ((data[base + sample / 8] >> (7 - sample % 8)) & 1) * 255;
                    plane.row(static_cast<int>(y))[x] = static_cast<uint8_t>(255 - ink);
                }
            const std::string name = "page" + std::to_string(page) + "-colour" + std::to_string(c) +
                                     "-" + names[c] + ".png";
            writePng(outputs.add((std::filesystem::path(dir) / name).string()), plane);
            written.push_back(name);
        }
        r.at = h + kHeaderBytes + dataBytes;
    }
    outputs.commit();
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
    raster->add_option("FILE", options->input, "uncompressed CUPS raster")->required();
    raster->add_option("--planes", options->dir, "folder for the PNGs (created)")->required();
    raster->callback([options] {
        for (const auto& name : writeRasterPlanes(options->input, options->dir))
            std::cout << name << "\n";
    });
}

} // namespace vrel::cli
