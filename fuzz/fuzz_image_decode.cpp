// Fuzz target: the image reading of `vrel convert` (PNG through libpng, JPEG
// through libjpeg, TIFF through libtiff, and the embedded colour information
// through lcms2), entered as the tool enters it, with a file. An input is
// either refused with the tool's one error type or read into an image of the
// size it claims. The limits are small so that no input may legitimately
// need much memory: a pixel limit of a million and 16 MiB for the images
// decoded whole; the tool's own row-width limit applies.
#include "cli_error.h"
#include "image/image_read.h"
#include "scratch_directory.h"

#include <string>

namespace {

using namespace vrel::test;

constexpr char kImageName[] = "image";
constexpr uint64_t kMaxPixels = 1 << 20;
constexpr uint64_t kWholeImageBytes = 16 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    writeScratchFile(kImageName, data, size);
    vrel::cli::ReadOptions options;
    options.maxPixels = kMaxPixels;
    options.wholeImageBytes = kWholeImageBytes;
    options.warn = [](const std::string&) {};
    options.note = [](const std::string&) {};
    const std::string path = scratchDirectory() + "/" + kImageName;
    vrel::cli::Image image;
    try {
        image = vrel::cli::readImage(path, options);
    } catch (const vrel::cli::CliError&) {
        return 0; // refused with a message: the tool's contract
    }
    const bool channelsTaken = image.channels == 1 || image.channels == 3;
    if (!channelsTaken || image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != image.rowBytes() * static_cast<size_t>(image.height)) {
        harnessFailure("an image was read with a size other than the one it claims");
    }
    return 0;
}
