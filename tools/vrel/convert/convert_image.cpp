#include "convert_image.h"

#include "cli_error.h"

#include <algorithm>
#include <fmt/format.h>

namespace vrel::cli {

uint8_t greyOf(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint8_t>(std::min(255, (77 * r + 151 * g + 28 * b + 128) >> 8));
}

int inkCountFor(int method) {
    return method == VrelMethodBlack ? 1 : method == VrelMethodThreeChannel ? 3 : method;
}

BandConverter::BandConverter(const ConversionRequest& request, int inputChannels, int width)
    : request_(request),
      session_(std::make_unique<EngineSession>(request.settings, request.databasePath)),
      method_(conversionMethodOf(session_->context())), width_(width),
      inputChannels_(inputChannels),
      source_(static_cast<std::size_t>(width) * static_cast<std::size_t>(inputChannels)),
      grey_(static_cast<std::size_t>(width)), planes_(static_cast<std::size_t>(width) * 7),
      rgb_(static_cast<std::size_t>(width) * 3) {
    if (inputChannels == 1)
        VrelInitColorConversion(session_->context(), VrelModeGray, nullptr);
}

BandConverter::~BandConverter() = default;

void BandConverter::convert(const uint8_t* input, uint8_t* output, int rows) {
    EngineContext* ctx = session_->context();
    const int width = width_;
    const int inks = inkCountFor(method_);
    const uint32_t format = inputChannels_ == 3 ? VrelFormatRgb24 : VrelFormatGray8;
    const std::size_t inBytes = source_.size();
    const std::size_t outBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(inks);
    for (int y = 0; y < rows; ++y) {
        // The correction works in place, on a copy of the row.
        const uint8_t* row = input + static_cast<std::size_t>(y) * inBytes;
        if (request_.correct)
            std::copy(row, row + inBytes, source_.begin());
        for (int x0 = 0; x0 < width; x0 += kPixelsPerCall) {
            const int count = std::min(kPixelsPerCall, width - x0);
            const std::size_t at = static_cast<std::size_t>(x0) * inputChannels_;
            uint8_t* own = source_.data() + at;
            if (request_.correct)
                VrelBitmapColorCorrection(format, own, own, static_cast<uint16_t>(count), 0, 0,
                                          ctx);
            const uint8_t* src = request_.correct ? own : row + at;
            if (method_ == VrelMethodThreeChannel) {
                VrelBitmapColorConversion(format, VrelFormatRgb24, src,
                                          rgb_.data() + static_cast<std::size_t>(x0) * 3,
                                          static_cast<uint32_t>(count), 0, 0, 0, ctx);
                continue;
            }
            LineRecord line{};
            line.format = format;
            line.source = src;
            if (method_ == VrelMethodBlack && format != VrelFormatGray8) {
                for (int i = 0; i < count; ++i)
                    grey_[static_cast<std::size_t>(i)] =
                        greyOf(src[3 * i], src[3 * i + 1], src[3 * i + 2]);
                line.format = VrelFormatGray8;
                line.source = grey_.data();
            }
            for (int i = 0; i < 7; ++i)
                line.planes[i] = planes_.data() + static_cast<std::size_t>(i) * width + x0;
            const int rc =
                VrelLineColorConversion(&line, static_cast<uint16_t>(count), 0, 0, 0, ctx);
            if (rc < 0)
                throw CliError(
                    fmt::format("the engine refused the line conversion (result {})", rc));
        }
        uint8_t* dst = output + static_cast<std::size_t>(y) * outBytes;
        if (method_ == VrelMethodThreeChannel) {
            std::copy(rgb_.begin(), rgb_.end(), dst);
        } else if (method_ == VrelMethodBlack) {
            std::copy_n(planes_.data() + 3 * static_cast<std::size_t>(width), width, dst);
        } else {
            for (int x = 0; x < width; ++x)
                for (int i = 0; i < inks; ++i)
                    dst[x * inks + i] = planes_[static_cast<std::size_t>(i) * width + x];
        }
    }
}

} // namespace vrel::cli
