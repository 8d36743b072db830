// Helpers of the command-line tool tests: running the built executable,
// reading files back with the image libraries directly.
#pragma once

#include "image.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vrel::clitest {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the vrel executable with the arguments (each quoted for the shell)
// in the directory `workDir`.
ToolRun runTool(const std::vector<std::string>& args, const std::filesystem::path& workDir);

struct TiffContents {
    uint32_t width = 0, height = 0;
    uint16_t samples = 0, bits = 0, photometric = 0, inkSet = 0, numberOfInks = 0;
    bool hasInkSet = false, hasNumberOfInks = false;
    std::vector<std::string> inkNames;
    std::vector<uint8_t> pixels; // interleaved rows
    int warnings = 0;            // libtiff's warnings while reading
};
// Reads an 8-bit contiguous TIFF with libtiff; fails the test on error.
TiffContents readTiffFile(const std::filesystem::path& path);

// A JPEG (quality 90) of an RGB image, with an ICC profile in APP2 when given.
void writeJpegFile(const std::filesystem::path& path, const cli::Image& rgb,
                   const std::vector<uint8_t>& iccProfile = {});

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);
std::filesystem::path sampleDescription();
std::filesystem::path sampleDatabase();
// Paths of the files in a directory and its subdirectories, relative to it
// (for "no partial output" checks).
std::vector<std::string> filesIn(const std::filesystem::path& dir);

} // namespace vrel::clitest
