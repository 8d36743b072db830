// Helpers of the command-line tool tests: running the built executable,
// writing inputs and reading outputs with the image libraries directly.
#pragma once

#include "image/image.h"
#include "support/test_support.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <lcms2.h>
#include <sys/wait.h>
#include <tiffio.h>

namespace vrel::clitest {

inline std::vector<uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
inline const std::string kSampleDatabase = VREL_SAMPLE_DIR "/sample.vdb";
inline const std::string kSampleDescription = VREL_SAMPLE_DIR "/sample.json";

// Paths of the files under a directory, relative to it, sorted.
inline std::vector<std::string> filesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        names.push_back(e.path().lexically_relative(dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// Runs the vrel executable in `workDir`, after the shell commands of `prefix`
// (such as a ulimit), with standard output into `stdoutTo` when named.
inline ToolRun runTool(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                       const std::string& prefix = "", const std::string& stdoutTo = "") {
    const test::TempDir capture;
    std::string command =
        "cd '" + workDir.string() + "' && " + prefix + "'" VREL_CLI_EXECUTABLE "'";
    for (const auto& a : args) // no argument holds a quote
        command += " '" + a + "'";
    command += " >'" + (stdoutTo.empty() ? capture.file("out").string() : stdoutTo) + "' 2>'" +
               capture.file("err").string() + "' </dev/null";
    const int raw = std::system(command.c_str());
    const auto out = readFileBytes(capture.file("out")), err = readFileBytes(capture.file("err"));
    return {
        WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, {out.begin(), out.end()}, {err.begin(), err.end()}};
}

// A TIFF of 8- or 16-bit samples (32-bit ones hold only the low 16 bits), `width` pixels a row;
// `tags` sets more fields (or overrides the size) before the rows are written;
// `mode` "w8" writes a BigTIFF.
inline void writeTiff(const std::filesystem::path& path, uint32_t width, int channels, int bits,
                      uint16_t photometric, const std::vector<uint16_t>& samples,
                      const std::function<void(TIFF*)>& tags = {}, const char* mode = "w") {
    TIFF* t = TIFFOpen(path.c_str(), mode);
    ASSERT_NE(t, nullptr);
    const std::size_t perRow = width * std::size_t(channels);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(samples.size() / perRow));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (tags)
        tags(t);
    std::vector<uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(t)));
    for (std::size_t y = 0; y * perRow < samples.size(); ++y) {
        for (std::size_t i = 0; i < perRow; ++i)
            std::memcpy(row.data() + i * std::size_t(bits / 8), &samples[y * perRow + i],
                        std::size_t(std::min(bits / 8, 2))); // a little-endian host
        TIFFWriteScanline(t, row.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFClose(t);
}

// Sets a tag of the first directory of a little-endian classic TIFF to one
// LONG `value` (or, for a longer tag, only its count), as a damaged file would have it.
inline void patchTiffTag(std::vector<uint8_t>& tiff, uint16_t tag, uint32_t value,
                         bool countOnly = false) {
    const auto at = [&](std::size_t i, int n) {
        uint32_t v = 0;
        for (int k = n - 1; k >= 0; --k)
            v = v << 8 | tiff[i + std::size_t(k)];
        return v;
    };
    const auto put = [&](std::size_t i, int n, uint32_t v) {
        for (int k = 0; k < n; ++k)
            tiff[i + std::size_t(k)] = static_cast<uint8_t>(v >> (8 * k));
    };
    const std::size_t dir = at(4, 4);
    for (std::size_t e = dir + 2; e < dir + 2 + 12 * at(dir, 2); e += 12)
        if (at(e, 2) == tag) {
            if (!countOnly)
                put(e + 2, 2, TIFF_LONG), put(e + 8, 4, value);
            put(e + 4, 4, countOnly ? value : 1);
            return;
        }
    ADD_FAILURE() << "no tag " << tag;
}

// A JPEG (quality 90, 4:2:0) of an RGB image, with an ICC profile when one is
// given, baseline or progressive.
inline void writeJpegFile(const std::filesystem::path& path, const cli::Image& rgb,
                          const std::vector<uint8_t>& icc = {}, bool progressive = false) {
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
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    if (!icc.empty())
        jpeg_write_icc_profile(&info, icc.data(), static_cast<unsigned>(icc.size()));
    for (int y = 0; y < rgb.height; ++y) {
        JSAMPROW rows[1] = {const_cast<uint8_t*>(rgb.row(y))};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// A JPEG's EXIF APP1 segment whose first directory holds only the
// orientation tag, in either byte order; `ifdOffset` may point anywhere, as
// in a damaged file. It goes right after the JPEG's first two bytes.
inline std::vector<uint8_t> exifSegment(uint16_t orientation, bool bigEndian,
                                        uint32_t ifdOffset = 8) {
    std::vector<uint8_t> tiff;
    const auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tiff.push_back(uint8_t(v >> (8 * (bigEndian ? bytes - 1 - i : i))));
    };
    tiff = {uint8_t(bigEndian ? 'M' : 'I'), uint8_t(bigEndian ? 'M' : 'I')};
    put(42, 2), put(ifdOffset, 4), put(1, 2);                             // header, one entry:
    put(0x0112, 2), put(3, 2), put(1, 4), put(orientation, 2), put(0, 2); // SHORT, 1 value
    put(0, 4);                                                            // no next directory
    std::vector<uint8_t> app1 = {0xff, 0xe1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    app1.insert(app1.end(), tiff.begin(), tiff.end());
    app1[2] = uint8_t((app1.size() - 2) >> 8), app1[3] = uint8_t(app1.size() - 2);
    return app1;
}

// The profile's bytes as lcms2 saves them; the profile is closed.
inline std::vector<uint8_t> savedProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// A six-colour output profile: each ink takes 15 from the lightness, a
// table of two nodes per ink into Lab.
inline std::vector<uint8_t> sixColourProfile() {
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSig6colorData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 6, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 2, 6, 3, nullptr);
    const auto lightness = [](const cmsUInt16Number* in, cmsUInt16Number* out, void*) {
        cmsCIELab lab{100, 0, 0};
        for (int i = 0; i < 6; ++i)
            lab.L -= in[i] / 65535.0 * 15;
        cmsFloat2LabEncoded(out, &lab);
        return cmsInt32Number{1};
    };
    cmsStageSampleCLut16bit(table, lightness, nullptr, 0);
    cmsPipelineInsertStage(lut, cmsAT_BEGIN, table);
    cmsWriteTag(profile, cmsSigAToB0Tag, lut);
    cmsMLU* name = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(name, "en", "US", "six inks");
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, name);
    cmsMLUfree(name);
    cmsPipelineFree(lut);
    return savedProfile(profile);
}

} // namespace vrel::clitest
