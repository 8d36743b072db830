#include "image_builder.h"

#include "cli_error.h"
#include "orientation.h"

#include <algorithm>
#include <fmt/format.h>
#include <iostream>

namespace vrel::cli {

namespace {

// Rows allocated at least per step while the image grows.
constexpr std::size_t kBandRows = 64;

template <typename Sample>
void composite(const Sample* in, Sample* out, int pixels, int colours, Alpha alpha) {
    constexpr uint32_t kMax = sizeof(Sample) == 1 ? 255u : 65535u;
    const int step = colours + (alpha == Alpha::None ? 0 : 1);
    for (int p = 0; p < pixels; ++p, in += step, out += colours) {
        if (alpha == Alpha::None) {
            std::copy_n(in, colours, out);
            continue;
        }
        const uint64_t a = in[colours];
        for (int c = 0; c < colours; ++c) {
            const uint64_t v = in[c];
            // Straight: v a + white (1 - a); premultiplied: v + white (1 - a).
            const uint64_t mixed = alpha == Alpha::Straight
                                       ? (v * a + kMax * (kMax - a) + kMax / 2) / kMax
                                       : std::min<uint64_t>(kMax, v + (kMax - a));
            out[c] = static_cast<Sample>(mixed);
        }
    }
}

} // namespace

ImageBuilder::ImageBuilder(const std::string& path, const ReadOptions& options)
    : path_(path), options_(options) {}

ImageBuilder::~ImageBuilder() = default;

void ImageBuilder::warn(const std::string& message) const {
    if (options_.warn)
        options_.warn(message);
    else
        std::cerr << fmt::format("vrel: warning: {}\n", message);
}

void ImageBuilder::note(const std::string& message) const {
    if (options_.note)
        options_.note(message);
    else
        std::cerr << fmt::format("vrel: {}\n", message);
}

std::string ImageBuilder::damaged(const std::string& reason) const {
    return "damaged image '" + path_ + "': " + reason;
}

std::string ImageBuilder::tooShort(uint64_t width, uint64_t height,
                                   const std::string& detail) const {
    return damaged(
        fmt::format("the file is too short for its claimed {} x {} pixels ({}truncated?)", width,
                    height, detail.empty() ? "" : detail + "; "));
}

void ImageBuilder::checkWholeImage(const std::string& kind, uint64_t bytes) const {
    constexpr uint64_t kMiB = 1 << 20;
    if (bytes > options_.wholeImageBytes)
        throw CliError(fmt::format("image '{}' is {}, which is decoded whole: {} MiB, more than "
                                   "the limit of {} MiB (raise it with --max-image-memory)",
                                   path_, kind, (bytes + kMiB - 1) / kMiB,
                                   options_.wholeImageBytes / kMiB));
}

void ImageBuilder::begin(const SourceFormat& format) {
    if (format.width <= 0 || format.height <= 0)
        throw CliError(damaged(fmt::format("image size {} x {}", format.width, format.height)));
    if (format.width > kMaxWidth)
        throw CliError(fmt::format("unsupported image '{}': {} pixels wide, more than the widest "
                                   "row the tool takes ({} pixels)",
                                   path_, format.width, kMaxWidth));
    const uint64_t pixels = static_cast<uint64_t>(format.width) * format.height;
    if (pixels > options_.maxPixels)
        throw CliError(fmt::format("image '{}' is {} x {} = {} pixels, more than the limit of {} "
                                   "(raise it with --max-pixels)",
                                   path_, format.width, format.height, pixels, options_.maxPixels));
    format_ = format;
    orientation_ = orientationOf(format);
    if (swapsAxes(orientation_) && format.height > kMaxWidth)
        throw CliError(fmt::format("unsupported image '{}': {} pixels wide once turned upright "
                                   "({} orientation {}), more than the widest row the tool takes "
                                   "({} pixels)",
                                   path_, format.height, format.orientationTag, orientation_,
                                   kMaxWidth));
    if (orientation_ != kUpright)
        checkWholeImage(fmt::format("to be turned upright ({} orientation {})",
                                    format.orientationTag, orientation_),
                        pixels * static_cast<uint64_t>(format.colours));
    ColourChoice choice;
    choice.inputProfile = options_.inputProfile;
    choice.databaseSpace = options_.databaseSpace;
    choice.warn = [this](const std::string& m) { warn(m); };
    choice.note = [this](const std::string& m) { note(m); };
    colour_ =
        std::make_unique<InputColour>(choice, format.colour, format.colours, format.bits, path_);
    profileUsed_ = colour_->description();
    const auto rowSamples = static_cast<std::size_t>(format.width) * format.colours;
    if (format.bits == 16)
        wide_.resize(rowSamples);
    else
        narrow_.resize(rowSamples);
    image_.width = format.width;
    image_.height = format.height;
    image_.channels = format.colours;
    if (options_.resolution) {
        // A turned image is read across what was stored down.
        *options_.resolution = format.resolution;
        if (*options_.resolution && swapsAxes(orientation_))
            std::swap((*options_.resolution)->x, (*options_.resolution)->y);
    }
    if (options_.streamBegin && orientation_ == kUpright)
        bandRows_ = std::clamp(options_.streamBegin(format.width, format.height, format.colours), 1,
                               format.height);
}

void ImageBuilder::addRow(const void* samples) {
    if (rows_ >= image_.height)
        return;
    const std::size_t rowBytes = image_.rowBytes();
    const std::size_t need = (static_cast<std::size_t>(rows_) + 1) * rowBytes;
    const bool streamed = bandRows_ > 0;
    if (streamed && band_.pixels.empty()) {
        bandFirst_ = rows_;
        band_ = Image(image_.width, std::min(bandRows_, image_.height - rows_), image_.channels);
    } else if (!streamed && need > image_.pixels.size()) {
        // Grows by bands, doubling, up to the size the image claims.
        const std::size_t rows = std::min<std::size_t>(
            static_cast<std::size_t>(image_.height),
            std::max<std::size_t>(kBandRows, 2 * static_cast<std::size_t>(rows_)));
        image_.pixels.reserve(rows * rowBytes);
        image_.pixels.resize(rows * rowBytes);
    }
    uint8_t* out = streamed ? band_.row(rows_ - bandFirst_) : image_.row(rows_);
    const int width = format_.width;
    const int colours = format_.colours;
    if (format_.bits == 16) {
        composite(static_cast<const uint16_t*>(samples), wide_.data(), width, colours,
                  format_.alpha);
        if (colour_->transforms()) {
            colour_->convert(wide_.data(), out, width);
        } else {
            for (std::size_t i = 0; i < wide_.size(); ++i)
                out[i] = static_cast<uint8_t>((wide_[i] * 255u + 32767u) / 65535u);
        }
    } else {
        if (colour_->transforms()) {
            composite(static_cast<const uint8_t*>(samples), narrow_.data(), width, colours,
                      format_.alpha);
            colour_->convert(narrow_.data(), out, width);
        } else {
            composite(static_cast<const uint8_t*>(samples), out, width, colours, format_.alpha);
        }
    }
    ++rows_;
    if (streamed && rows_ - bandFirst_ == band_.height) {
        Image band = std::move(band_);
        band_ = Image();
        options_.streamBand(std::move(band), bandFirst_);
    }
    if (options_.progress && (rows_ % 64 == 0 || rows_ == image_.height))
        options_.progress(static_cast<long>(rows_) * width,
                          static_cast<long>(image_.height) * width);
}

Image ImageBuilder::finish() {
    if (rows_ < image_.height)
        throw CliError(
            damaged(fmt::format("only {} of {} rows could be read", rows_, image_.height)));
    return orientation_ == kUpright ? std::move(image_) : turnUpright();
}

int ImageBuilder::orientationOf(const SourceFormat& format) const {
    if (isOrientation(format.orientation))
        return static_cast<int>(format.orientation);
    warn(fmt::format("'{}': {} orientation {} is not one of 1 to 8; the image is taken as stored",
                     path_, format.orientationTag, format.orientation));
    return kUpright;
}

Image ImageBuilder::turnUpright() {
    note(fmt::format("'{}': {} orientation {} applied ({})", path_, format_.orientationTag,
                     orientation_, orientationWords(orientation_)));
    const bool swap = swapsAxes(orientation_);
    const int width = swap ? image_.height : image_.width;
    const int height = swap ? image_.width : image_.height;
    if (!options_.streamBegin)
        return uprightRows(image_, orientation_, 0, height);
    const int band = std::clamp(options_.streamBegin(width, height, image_.channels), 1, height);
    for (int first = 0; first < height; first += band)
        options_.streamBand(
            uprightRows(image_, orientation_, first, std::min(band, height - first)), first);
    Image size;
    size.width = width;
    size.height = height;
    size.channels = image_.channels;
    return size;
}

} // namespace vrel::cli
