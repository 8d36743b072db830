// A PNG written band by band as the rows arrive (grey or RGB, 8 bits), at
// zlib's fastest level, run-length matches only, after the "up" filter: the
// converted page's preview and ink planes are large and written once, and
// this is both faster and smaller on them than zlib's default matching.
#pragma once

#include "image.h"
#include "output_set.h"

#include <cstdio>
#include <string>

namespace vrel::cli {

class PngStream {
  public:
    // Writes the header; throws CliError when the output cannot be written.
    PngStream(StagedOutput& out, int width, int height, int channels);
    ~PngStream();
    PngStream(const PngStream&) = delete;
    PngStream& operator=(const PngStream&) = delete;

    void writeRows(const Image& band);
    // Writes the end of the image and closes the stream.
    void finish();

  private:
    [[noreturn]] void fail();
    std::string path_;
    std::string message_; // libpng's last error
    std::FILE* file_ = nullptr;
    void* png_ = nullptr;  // png_structp
    void* info_ = nullptr; // png_infop
};

} // namespace vrel::cli
