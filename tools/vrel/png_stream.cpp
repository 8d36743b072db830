#include "png_stream.h"

#include "cli_error.h"

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <png.h>
#include <zlib.h>

namespace vrel::cli {

namespace {

// libpng reports errors by longjmp; these steps keep no C++ objects alive
// across it and return false instead.
bool startPng(png_structp png, png_infop info, std::FILE* file, int width, int height,
              int channels) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_compression_level(png, Z_BEST_SPEED);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_strategy(png, Z_RLE);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    return true;
}

bool writePngRows(png_structp png, const uint8_t* rows, std::size_t rowBytes, int count) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    for (int y = 0; y < count; ++y)
        png_write_row(png, rows + static_cast<std::size_t>(y) * rowBytes);
    return true;
}

bool endPng(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_end(png, info);
    return true;
}

void pngError(png_structp png, png_const_charp message) {
    auto* text = static_cast<std::string*>(png_get_error_ptr(png));
    *text = message;
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

} // namespace

PngStream::PngStream(StagedOutput& out, int width, int height, int channels) : path_(out.path()) {
    file_ = out.openStream();
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &message_, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    png_ = png;
    info_ = info;
    if (!png || !info || !startPng(png, info, file_, width, height, channels))
        fail();
}

PngStream::~PngStream() {
    auto* png = static_cast<png_structp>(png_);
    auto* info = static_cast<png_infop>(info_);
    if (png)
        png_destroy_write_struct(&png, info ? &info : nullptr);
    if (file_)
        std::fclose(file_);
}

void PngStream::fail() {
    throw CliError("cannot write '" + path_ +
                   "': " + (message_.empty() ? std::string(std::strerror(errno)) : message_));
}

void PngStream::writeRows(const Image& band) {
    if (!writePngRows(static_cast<png_structp>(png_), band.pixels.data(), band.rowBytes(),
                      band.height))
        fail();
}

void PngStream::finish() {
    if (!endPng(static_cast<png_structp>(png_), static_cast<png_infop>(info_)))
        fail();
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0)
        fail();
}

} // namespace vrel::cli
