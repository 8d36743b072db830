// The three decoders behind readImage. Each reads the header, hands the
// image's size, layout and colour information to the builder (which checks
// the pixel limit before anything is allocated), then its rows one by one.
// A file whose data ends early or does not decode is reported as damaged.
#pragma once

#include "image_builder.h"
#include "files/input_file.h"

namespace vrel::cli {

void decodePng(InputFile& file, ImageBuilder& builder);
void decodeJpeg(InputFile& file, ImageBuilder& builder);
void decodeTiff(InputFile& file, ImageBuilder& builder);

// Calls f() and keeps an exception for after the decoder library's frames
// are left (the libraries return through longjmp, so no C++ exception may
// cross them). Returns false when f threw.
template <typename F> bool guarded(std::exception_ptr* failure, F&& f) noexcept {
    try {
        f();
        return true;
    } catch (...) {
        *failure = std::current_exception();
        return false;
    }
}

} // namespace vrel::cli
