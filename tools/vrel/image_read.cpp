#include "image_read.h"

#include "cli_error.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <jpeglib.h>
#include <memory>
#include <png.h>
#include <tiffio.h>

namespace vrel::cli {

namespace {

enum class FileKind { Png, Jpeg, Tiff, Unknown };

FileKind sniff(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw CliError("cannot open image '" + path + "': " + std::strerror(errno));
    unsigned char head[8] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const auto got = in.gcount();
    if (got >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0)
        return FileKind::Png;
    if (got >= 3 && head[0] == 0xff && head[1] == 0xd8 && head[2] == 0xff)
        return FileKind::Jpeg;
    if (got >= 4 && ((head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) ||
                     (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42)))
        return FileKind::Tiff;
    return FileKind::Unknown;
}

Image readPng(const std::string& path) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        throw CliError("unsupported image '" + path + "': " + png.message);
    // Palettes, 16-bit samples and alpha are reduced to 8-bit RGB or grey;
    // transparent pixels are composited over white paper.
    const bool colour = (png.format & PNG_FORMAT_FLAG_COLOR) != 0;
    png.format = colour ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    Image image(static_cast<int>(png.width), static_cast<int>(png.height), colour ? 3 : 1);
    png_color white{255, 255, 255};
    if (!png_image_finish_read(&png, &white, image.pixels.data(), 0, nullptr)) {
        const std::string message = png.message;
        png_image_free(&png);
        throw CliError("unsupported image '" + path + "': " + message);
    }
    return image;
}

struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

// Decodes into the caller's buffer; returns null on success or the reason.
// Kept free of objects with destructors because of the longjmp.
const char* decodeJpeg(std::FILE* file, JpegErrorManager* errors, Image* image) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&errors->base);
    errors->base.error_exit = jpegErrorExit;
    if (setjmp(errors->jump)) {
        jpeg_destroy_decompress(&info);
        return errors->message;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&info);
        return "CMYK JPEG images are not taken; give an RGB or grey image";
    }
    const bool grey = info.num_components == 1;
    info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&info);
    image->width = static_cast<int>(info.output_width);
    image->height = static_cast<int>(info.output_height);
    image->channels = grey ? 1 : 3;
    image->pixels.resize(image->rowBytes() * static_cast<std::size_t>(image->height));
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->row(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return nullptr;
}

Image readJpeg(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw CliError("cannot open image '" + path + "': " + std::strerror(errno));
    auto errors = std::make_unique<JpegErrorManager>();
    Image image;
    const char* failure = decodeJpeg(file, errors.get(), &image);
    std::fclose(file);
    if (failure)
        throw CliError("unsupported image '" + path + "': " + failure);
    return image;
}

thread_local std::string tiffMessage;

void tiffErrorHandler(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    tiffMessage = (module ? std::string(module) + ": " : std::string()) + text;
}

void tiffWarningHandler(const char*, const char*, va_list) {}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

Image readTiff(const std::string& path) {
    TIFFSetErrorHandler(tiffErrorHandler);
    TIFFSetWarningHandler(tiffWarningHandler);
    tiffMessage.clear();
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path.c_str(), "r"));
    if (!tiff)
        throw CliError("unsupported image '" + path + "': " + tiffMessage);
    uint32_t width = 0, height = 0;
    uint16_t bits = 1, samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar);
    if (!TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric))
        throw CliError("unsupported image '" + path + "': no photometric interpretation");
    const std::string prefix = "unsupported image '" + path + "': ";
    if (bits != 8)
        throw CliError(prefix + std::to_string(bits) + " bits per sample (8 are taken)");
    if (planar != PLANARCONFIG_CONTIG)
        throw CliError(prefix + "separate colour planes are not taken");
    const bool grey =
        photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    if (!grey && photometric != PHOTOMETRIC_RGB)
        throw CliError(prefix + "photometric interpretation " + std::to_string(photometric) +
                       " (only RGB and grey are taken)");
    // Extra samples (alpha) beyond the colour channels are dropped.
    const int colourSamples = grey ? 1 : 3;
    if (samples < colourSamples)
        throw CliError(prefix + std::to_string(samples) + " samples per pixel");
    if (width == 0 || height == 0 || width > 1u << 20 || height > 1u << 20)
        throw CliError(prefix + "image size " + std::to_string(width) + " x " +
                       std::to_string(height));
    Image image(static_cast<int>(width), static_cast<int>(height), colourSamples);
    std::vector<uint8_t> scan(static_cast<std::size_t>(TIFFScanlineSize(tiff.get())));
    if (scan.size() < static_cast<std::size_t>(width) * samples)
        throw CliError(prefix + "inconsistent scanline size");
    for (uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tiff.get(), scan.data(), y, 0) < 0)
            throw CliError(prefix + "cannot read row " + std::to_string(y) + ": " + tiffMessage);
        uint8_t* out = image.row(static_cast<int>(y));
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < colourSamples; ++c) {
                const uint8_t v = scan[x * samples + static_cast<uint32_t>(c)];
                out[x * static_cast<uint32_t>(colourSamples) + static_cast<uint32_t>(c)] =
                    photometric == PHOTOMETRIC_MINISWHITE ? static_cast<uint8_t>(255 - v) : v;
            }
    }
    return image;
}

} // namespace

Image readImage(const std::string& path) {
    switch (sniff(path)) {
    case FileKind::Png:
        return readPng(path);
    case FileKind::Jpeg:
        return readJpeg(path);
    case FileKind::Tiff:
        return readTiff(path);
    case FileKind::Unknown:
        break;
    }
    throw CliError("unsupported image '" + path + "': not a PNG, JPEG or TIFF file");
}

} // namespace vrel::cli
