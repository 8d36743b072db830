// Fuzz target: `vrel raster` reading arbitrary bytes as CUPS raster. Every
// input is either refused with the tool's one error type, leaving no file
// and no folder behind, or turned into planes that all exist and are
// complete PNGs of the pages' sizes; the planes are removed again before
// the next input.
#include "cli_error.h"
#include "raster_planes.h"
#include "scratch_directory.h"

#include <filesystem>
#include <png.h>

namespace {

namespace fs = std::filesystem;

constexpr char kInputName[] = "in.ras";

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
