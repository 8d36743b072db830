#include "cli_test_helpers.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <jpeglib.h>
#include <memory>
#include <sys/wait.h>
#include <tiffio.h>

namespace vrel::clitest {

namespace {

std::string quote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

ToolRun runTool(const std::vector<std::string>& args, const std::filesystem::path& workDir) {
    static int counter = 0;
    const auto outFile =
        std::filesystem::temp_directory_path() /
        ("vrel-cli-out-" + std::to_string(::getpid()) + "-" + std::to_string(counter) + ".txt");
    const auto errFile =
        std::filesystem::temp_directory_path() /
        ("vrel-cli-err-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".txt");
    std::string command = "cd " + quote(workDir.string()) + " && " + quote(VREL_CLI_EXECUTABLE);
    for (const auto& a : args)
        command += " " + quote(a);
    command += " >" + quote(outFile.string()) + " 2>" + quote(errFile.string()) + " </dev/null";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readText(outFile);
    run.err = readText(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return run;
}

TiffContents readTiffFile(const std::filesystem::path& path) {
    TiffContents c;
    static int warnings = 0;
    warnings = 0;
    TIFFSetWarningHandler([](const char*, const char*, va_list) { ++warnings; });
    TIFF* tiff = TIFFOpen(path.string().c_str(), "r");
    if (!tiff) {
        ADD_FAILURE() << "libtiff cannot open " << path;
        return c;
    }
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &c.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &c.height);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &c.samples);
    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &c.bits);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &c.photometric);
    c.hasInkSet = TIFFGetField(tiff, TIFFTAG_INKSET, &c.inkSet) == 1;
    c.hasNumberOfInks = TIFFGetField(tiff, TIFFTAG_NUMBEROFINKS, &c.numberOfInks) == 1;
    char* names = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_INKNAMES, &names) == 1 && names) {
        // The names are NUL-separated; there are as many as samples.
        const char* p = names;
        for (uint16_t i = 0; i < c.samples; ++i) {
            c.inkNames.emplace_back(p);
            p += c.inkNames.back().size() + 1;
        }
    }
    const auto rowBytes = static_cast<std::size_t>(TIFFScanlineSize(tiff));
    c.pixels.resize(rowBytes * c.height);
    for (uint32_t y = 0; y < c.height; ++y)
        if (TIFFReadScanline(tiff, c.pixels.data() + y * rowBytes, y, 0) < 0)
            ADD_FAILURE() << "cannot read row " << y << " of " << path;
    TIFFClose(tiff);
    c.warnings = warnings;
    return c;
}

void writeJpegFile(const std::filesystem::path& path, const cli::Image& rgb,
                   const std::vector<uint8_t>& iccProfile) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(rgb.width);
    info.image_height = static_cast<JDIMENSION>(rgb.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    if (!iccProfile.empty())
        jpeg_write_icc_profile(&info, iccProfile.data(), static_cast<unsigned>(iccProfile.size()));
    for (int y = 0; y < rgb.height; ++y) {
        JSAMPROW rows[1] = {const_cast<uint8_t*>(rgb.row(y))};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

std::filesystem::path sampleDescription() {
    return std::filesystem::path(VREL_SAMPLE_DIR) / "sample.json";
}
std::filesystem::path sampleDatabase() {
    return std::filesystem::path(VREL_SAMPLE_DIR) / "sample.vdb";
}

std::vector<std::string> filesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        names.push_back(e.path().lexically_relative(dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace vrel::clitest
