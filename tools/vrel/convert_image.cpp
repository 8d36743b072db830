#include "convert_image.h"

#include "cli_error.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

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
                throw CliError("the engine refused the line conversion (result " +
                               std::to_string(rc) + ")");
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

namespace {

// Converts rows [first, last) of the image with one context of its own.
void convertBand(const Image& input, const ConversionRequest& request, int first, int last,
                 Image& out, std::atomic<long>& rowsDone) {
    BandConverter converter(request, input.channels, input.width);
    for (int y = first; y < last; ++y) {
        converter.convert(input.row(y), out.row(y), 1);
        rowsDone.fetch_add(1, std::memory_order_relaxed);
    }
}

} // namespace

ConversionResult convertImage(const Image& input, const ConversionRequest& request,
                              const ProgressFunction& progress) {
    if (input.channels != 1 && input.channels != 3)
        throw CliError("the image must be RGB or grey");
    ConversionResult result;
    {
        // Opens the profile once up front, so that a bad database or unknown
        // profile is reported before any thread starts.
        EngineSession probe(request.settings, request.databasePath);
        result.method = conversionMethodOf(probe.context());
    }
    result.inkNames = inkNamesFor(result.method);
    result.inks = Image(input.width, input.height, inkCountFor(result.method));
    const int threads = std::clamp(request.threads, 1, std::max(1, input.height));
    std::atomic<long> rowsDone{0};
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(threads));
    std::atomic<bool> anyFailed{false};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        const int first = static_cast<int>(static_cast<long>(input.height) * t / threads);
        const int last = static_cast<int>(static_cast<long>(input.height) * (t + 1) / threads);
        workers.emplace_back([&, t, first, last] {
            try {
                convertBand(input, request, first, last, result.inks, rowsDone);
            } catch (...) {
                failures[static_cast<std::size_t>(t)] = std::current_exception();
                anyFailed.store(true);
            }
        });
    }
    if (progress) {
        while (rowsDone.load() < input.height && !anyFailed.load()) {
            progress(rowsDone.load(), input.height);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    for (auto& w : workers)
        w.join();
    for (const auto& f : failures)
        if (f)
            std::rethrow_exception(f);
    if (progress)
        progress(input.height, input.height);
    return result;
}

} // namespace vrel::cli
