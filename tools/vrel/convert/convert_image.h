// Conversion of an image's rows through the engine's exports, as a driver
// does it: one context per thread (VrelInit, VrelInitColorConversion), the
// image in bands of rows, each row through the optional colour correction
// (VrelBitmapColorCorrection) and then VrelLineColorConversion into ink
// planes (methods 1, 4, 6, 7) or VrelBitmapColorConversion into RGB
// (method 3), and VrelClose.
#pragma once

#include "common/engine_limits.h"
#include "engine_settings.h"
#include "image/image.h"

#include <memory>
#include <string>
#include <vector>

namespace vrel::cli {

struct ConversionRequest {
    std::string databasePath;
    PrintSettings settings;
    bool correct = false; // run the colour correction before the conversion
    int threads = 1;
};

// Pixels per call: the pieces a row is converted in (common/engine_limits.h).
inline constexpr int kPixelsPerCall = static_cast<int>(vrel::tools::kPixelsPerCall);

// One engine context converting rows of one image width; each thread
// converting in parallel has its own.
class BandConverter {
  public:
    BandConverter(const ConversionRequest& request, int inputChannels, int width);
    ~BandConverter();
    BandConverter(const BandConverter&) = delete;
    BandConverter& operator=(const BandConverter&) = delete;

    int method() const { return method_; }
    // `rows` rows of the input (RGB or grey) into interleaved inks (or RGB
    // for method 3), rows without padding.
    void convert(const uint8_t* input, uint8_t* output, int rows);

  private:
    const ConversionRequest& request_;
    std::unique_ptr<EngineSession> session_;
    int method_ = 0;
    int width_ = 0;
    int inputChannels_ = 0;
    std::vector<uint8_t> source_, grey_, planes_, rgb_;
};

// Ink channels the method writes: 1 (black), 3 (RGB) or the ink count.
int inkCountFor(int method);

// Grey level of an RGB pixel for the black-only method, whose line
// conversion takes grey input: the engine's own luminance weights,
// (77 r + 151 g + 28 b + 128) / 256.
uint8_t greyOf(uint8_t r, uint8_t g, uint8_t b);

} // namespace vrel::cli
