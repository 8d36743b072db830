// Fuzz target: `vrel raster` reading arbitrary bytes as CUPS raster. Every
// input is either refused with the tool's one error type, leaving no file
// and no folder behind, or turned into planes that all exist and are
// complete PNGs of the pages' sizes; the planes are removed again before
// the next input.
#include "cli_error.h"
#include "cups/commands/raster_planes.h"
#include "scratch_directory.h"

#include <filesystem>
#include <png.h>

namespace {

namespace fs = std::filesystem;

constexpr char kInputName[] = "in.ras";

// libcups 2.4 allocates a line of a compressed page (calloc of
// cupsBytesPerLine) before it checks the header, which under
// AddressSanitizer costs seconds for the largest claims; the tool refuses
// such a page right after (release builds only reserve the memory). Inputs
// whose first page claims more than 16 MiB a line are skipped.
bool claimsHugeFirstLine(const uint8_t* data, size_t size) {
    constexpr size_t kBytesPerLineAt = 4 + 392;
    if (size < kBytesPerLineAt + 4)
        return false;
    const uint8_t* f = data + kBytesPerLineAt;
    const bool bigEndian = data[0] == 'R'; // "RaS2", else "2SaR" and the like
    const uint32_t value = bigEndian ? uint32_t(f[0]) << 24 | f[1] << 16 | f[2] << 8 | f[3]
                                     : uint32_t(f[3]) << 24 | f[2] << 16 | f[1] << 8 | f[0];
    return value > (1u << 24);
}

void checkPlane(const fs::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        vrel::test::harnessFailure("a written plane is not a PNG");
    image.format = PNG_FORMAT_GRAY;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        vrel::test::harnessFailure("a written plane does not decode");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using vrel::test::scratchDirectory;
    if (claimsHugeFirstLine(data, size))
        return 0;
    vrel::test::writeScratchFile(kInputName, data, size);
    const fs::path planes = fs::path(scratchDirectory()) / "planes";
    try {
        const auto names = vrel::cli::writeRasterPlanes(
            (fs::path(scratchDirectory()) / kInputName).string(), planes.string());
        for (const auto& name : names)
            checkPlane(planes / name);
    } catch (const vrel::cli::CliError&) {
        if (fs::exists(planes))
            vrel::test::harnessFailure("a refused raster left its planes' folder behind");
    }
    fs::remove_all(planes);
    return 0;
}
