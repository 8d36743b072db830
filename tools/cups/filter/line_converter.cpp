#include "line_converter.h"

#include "common/engine_limits.h"

#include <algorithm>

namespace vrel::cups {

namespace {

// Lines are converted in pieces the engine takes in one call, a multiple of
// 8 pixels so that bit planes split on byte boundaries.
constexpr unsigned kPiece = vrel::tools::kPixelsPerCall;

// 4 x 4 ordered dither: a level lies above threshold kDither[y][x] * 16 + 8
// at (x, y), so 0 never does and 255 always does.
constexpr uint8_t kDither[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

} // namespace

LineConverter::LineConverter(EngineContext* context, int method, const PageHeader& page)
    : context_(context), method_(method), width_(page.width), blackInput_(page.blackInput),
      channels_(page.channels), bilevel_(page.settings.bilevel) {
    const std::size_t planeBytes = bilevel_ ? (width_ + 7) / 8 : width_;
    planes_.assign(planeBytes * 7, 0);
    for (std::size_t i = 0; i < 7; ++i)
        planePointers_[i] = planes_.data() + i * planeBytes;
    if (blackInput_)
        grey_.resize(width_);
}

int LineConverter::convert(const uint8_t* line, unsigned y) {
    const uint8_t* source = line;
    if (blackInput_) {
        // A black amount is the grey level's complement.
        for (unsigned x = 0; x < width_; ++x)
            grey_[x] = static_cast<uint8_t>(255 - line[x]);
        source = grey_.data();
    }
    if (bilevel_)
        return convertBits(source, channels_, y);
    return convertBytes(source, channels_ == 3 ? VrelFormatRgb24 : VrelFormatGray8, channels_);
}

int LineConverter::convertPacked(const uint8_t* line, uint32_t outFormat, uint8_t* out) {
    const unsigned inks = outFormat == VrelFormatCmyk32 ? 4 : outFormat == VrelFormatInk6 ? 6 : 7;
    for (unsigned start = 0; start < width_; start += kPiece) {
        const unsigned count = std::min(kPiece, width_ - start);
        const int result =
            VrelBitmapColorConversion(VrelFormatRgb24, outFormat, line + std::size_t{start} * 3,
                                      out + std::size_t{start} * inks, count, 0, 0, 0, context_);
        if (result != VREL_OK)
            return result;
    }
    return VREL_OK;
}

int LineConverter::convertBytes(const uint8_t* source, uint32_t format, unsigned channels) {
    for (unsigned start = 0; start < width_; start += kPiece) {
        const unsigned count = std::min(kPiece, width_ - start);
        LineRecord record{};
        record.format = format;
        record.source = source + static_cast<std::size_t>(start) * channels;
        for (std::size_t i = 0; i < 7; ++i)
            record.planes[i] = planePointers_[i] + start;
        const int result =
            VrelLineColorConversion(&record, static_cast<uint16_t>(count), 0, 0, 0, context_);
        if (result != VREL_OK)
            return result;
    }
    return VREL_OK;
}

int LineConverter::convertBits(const uint8_t* source, unsigned channels, unsigned y) {
    // Light-sense bit planes: a set bit is full intensity of red, green and
    // blue (planes 0-2) or of grey (plane 3 for the black method).
    std::fill(planes_.begin(), planes_.end(), uint8_t{0});
    const unsigned firstPlane = method_ == VrelMethodBlack ? 3 : 0;
    const unsigned planeCount = method_ == VrelMethodBlack ? 1 : 3;
    for (unsigned x = 0; x < width_; ++x) {
        const unsigned threshold = kDither[y % 4][x % 4] * 16u + 8u;
        const auto bit = static_cast<uint8_t>(0x80u >> (x % 8));
        for (unsigned c = 0; c < planeCount; ++c) {
            const uint8_t level = source[x * channels + (channels == 3 ? c : 0)];
            if (level > threshold)
                planePointers_[firstPlane + c][x / 8] |= bit;
        }
    }
    for (unsigned start = 0; start < width_; start += kPiece) {
        const unsigned count = std::min(kPiece, width_ - start);
        std::array<uint8_t*, 4> p{};
        for (std::size_t i = 0; i < 4; ++i)
            p[i] = planePointers_[i] + start / 8;
        const int result =
            VrelOnDotBlack(p[0], p[1], p[2], p[3], static_cast<int16_t>(count), 0, 0, 0, context_);
        if (result != VREL_OK)
            return result;
    }
    return VREL_OK;
}

} // namespace vrel::cups
