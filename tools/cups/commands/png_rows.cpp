#include "png_rows.h"

#include "cli_error.h"

#include <csetjmp>
#include <new>
#include <zlib.h>

namespace vrel::cli {

namespace {

// libpng reports an error by a longjmp to these functions, past nothing
// but libpng's own frames; they hold nothing that needs destroying.
bool writeHeader(png_structp png, png_infop info, unsigned width, unsigned height) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, Z_BEST_SPEED);
    png_write_info(png, info);
    return true;
}

bool writeRow(png_structp png, const uint8_t* row) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_row(png, row);
    return true;
}

bool writeEnd(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_end(png, info);
    return true;
}

} // namespace

PngRowWriter::PngRowWriter(StagedOutput& out, unsigned width, unsigned height) : out_(out) {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, onError, onWarning);
    info_ = png_ ? png_create_info_struct(png_) : nullptr;
    if (!info_) {
        png_destroy_write_struct(&png_, nullptr);
        throw std::bad_alloc();
    }
    png_set_write_fn(png_, this, onWrite, onFlush);
    if (!writeHeader(png_, info_, width, height)) {
        // No destructor runs for a constructor that throws.
        png_destroy_write_struct(&png_, &info_);
        fail();
    }
}

PngRowWriter::~PngRowWriter() {
    png_destroy_write_struct(&png_, &info_);
}

void PngRowWriter::row(const uint8_t* grey) {
    if (!writeRow(png_, grey))
        fail();
}

void PngRowWriter::finish() {
    if (!writeEnd(png_, info_))
        fail();
    out_.finish();
}

void PngRowWriter::fail() {
    throw CliError(failure_.empty() ? "cannot write '" + out_.path() + "'" : failure_);
}

void PngRowWriter::onWrite(png_structp png, png_bytep data, size_t size) {
    auto* self = static_cast<PngRowWriter*>(png_get_io_ptr(png));
    bool written = true;
    try {
        self->out_.write(data, size);
    } catch (const std::exception& e) {
        self->failure_ = e.what();
        written = false;
    }
    if (!written) // outside the handler: the longjmp must not leave a catch block
        png_error(png, "write failed");
}

void PngRowWriter::onError(png_structp png, png_const_charp message) {
    auto* self = static_cast<PngRowWriter*>(png_get_error_ptr(png));
    if (self->failure_.empty())
        self->failure_ = "cannot write '" + self->out_.path() + "': " + message;
    png_longjmp(png, 1);
}

} // namespace vrel::cli
