// Converts the lines of one page through the engine into one plane per ink:
// a byte per pixel from the line conversion, or for bilevel output a bit per
// pixel from an ordered dither of the input and on-dot black.
#pragma once

#include "page_settings.h"

#include <array>
#include <cstdint>
#include <vector>
#include <vrel/vrel.h>

namespace vrel::cups {

class LineConverter {
  public:
    // method: the context's conversion method; page: the input page.
    LineConverter(EngineContext* context, int method, const PageHeader& page);

    // Converts input line y; the planes stay valid until the next call.
    // Returns the engine's result (0, or the negative code it refused with).
    int convert(const uint8_t* line, unsigned y);
    const std::array<uint8_t*, 7>& planes() const { return planePointers_; }
    // Converts RGB input line y straight into packed inks of outFormat
    // (Cmyk32, Ink6 or Ink7), the chunked raster with cyan first.
    int convertPacked(const uint8_t* line, uint32_t outFormat, uint8_t* out);

  private:
    int convertBytes(const uint8_t* source, uint32_t format, unsigned channels);
    int convertBits(const uint8_t* source, unsigned channels, unsigned y);

    EngineContext* context_;
    int method_;
    unsigned width_;
    bool blackInput_;
    unsigned channels_;
    bool bilevel_;
    std::vector<uint8_t> grey_;   // black input turned into grey
    std::vector<uint8_t> planes_; // seven planes, one after another
    std::array<uint8_t*, 7> planePointers_{};
};

} // namespace vrel::cups
