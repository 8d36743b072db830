// A grey 8-bit PNG written row by row through libpng into a staged output,
// so that no more than one row of the image is held.
#pragma once

#include "files/output_set.h"

#include <cstdint>
#include <png.h>
#include <string>

namespace vrel::cli {

class PngRowWriter {
  public:
    // Writes the header; throws CliError when the output cannot be written.
    PngRowWriter(StagedOutput& out, unsigned width, unsigned height);
    ~PngRowWriter();
    PngRowWriter(const PngRowWriter&) = delete;
    PngRowWriter& operator=(const PngRowWriter&) = delete;

    // The next row, `width` bytes.
    void row(const uint8_t* grey);
    // Ends the image and finishes the output (its descriptor is closed).
    void finish();

  private:
    static void onWrite(png_structp png, png_bytep data, size_t size);
    static void onFlush(png_structp) {}
    static void onError(png_structp png, png_const_charp message);
    static void onWarning(png_structp, png_const_charp) {}
    [[noreturn]] void fail();

    StagedOutput& out_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::string failure_; // why libpng stopped, from a callback
};

} // namespace vrel::cli
