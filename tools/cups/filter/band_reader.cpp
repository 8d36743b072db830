#include "band_reader.h"

#include <algorithm>
#include <chrono>

namespace vrel::cups {

BandReader::BandReader(cups_raster_t* in, RasterInput& input, unsigned lineBytes, unsigned height,
                       unsigned bandLines)
    : in_(in), input_(input), lineBytes_(lineBytes), height_(height), bandLines_(bandLines),
      finished_(height == 0) {
    // Left uninitialised: the reader fills each band before it is handed
    // on, and the pages are touched first on the reading thread.
    for (auto& buffer : buffers_)
        buffer = std::make_unique_for_overwrite<uint8_t[]>(std::size_t{lineBytes} * bandLines);
    thread_ = std::thread(&BandReader::run, this);
}

BandReader::~BandReader() {
    {
        const std::lock_guard lock(mutex_);
        cancelled_ = true;
        if (!finished_)
            input_.interrupted = true;
    }
    readerFree_.notify_one();
    thread_.join();
}

void BandReader::run() {
    unsigned slot = 0;
    for (unsigned first = 0; first < height_; first += bandLines_) {
        {
            std::unique_lock lock(mutex_);
            readerWaiting_ = true;
            readerFree_.wait(lock, [this] { return filled_ < kBands || cancelled_; });
            readerWaiting_ = false;
            if (cancelled_)
                break;
        }
        // The ring slot is the reader's alone until it is counted as filled.
        const unsigned want = std::min(bandLines_, height_ - first);
        const unsigned got = readLines(buffers_[slot].get(), want);
        bool wake;
        {
            const std::lock_guard lock(mutex_);
            linesRead_ += got;
            if (got == want) {
                counts_[slot] = got;
                ++filled_;
            }
            // Finished together with the last band, so that a page read
            // whole is never taken for one abandoned.
            if (got != want || first + want == height_)
                finished_ = true;
            wake = converterWaiting_ || finished_;
        }
        if (wake)
            converterFed_.notify_one();
        if (got != want)
            return;
        slot = (slot + 1) % kBands;
    }
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    converterFed_.notify_one();
}

unsigned BandReader::readLines(uint8_t* lines, unsigned count) {
    if (input_.uncompressed()) {
        // The pixels come as they are: the whole band is one read, and the
        // bytes that arrived tell how many lines a cut page still holds.
        const uint64_t before = input_.bytes;
        const auto bytes = static_cast<unsigned>(std::size_t{lineBytes_} * count);
        if (cupsRasterReadPixels(in_, lines, bytes) == bytes)
            return count;
        return static_cast<unsigned>(
            std::min<uint64_t>((input_.bytes - before) / lineBytes_, count - 1u));
    }
    unsigned got = 0;
    while (got < count && cupsRasterReadPixels(in_, lines, lineBytes_) == lineBytes_) {
        ++got;
        lines += lineBytes_;
    }
    return got;
}

BandReader::Band BandReader::next(const volatile std::sig_atomic_t& stop, bool* stopped) {
    *stopped = false;
    std::unique_lock lock(mutex_);
    // A signal handler cannot notify the condition: look at the flag in
    // short slices.
    while (filled_ == 0 && !finished_) {
        if (stop) {
            *stopped = true;
            return {};
        }
        converterWaiting_ = true;
        converterFed_.wait_for(lock, std::chrono::milliseconds(20));
        converterWaiting_ = false;
    }
    if (stop) {
        *stopped = true;
        return {};
    }
    if (filled_ == 0)
        return {};
    return {buffers_[nextFull_].get(), counts_[nextFull_]};
}

void BandReader::release() {
    bool wake;
    {
        const std::lock_guard lock(mutex_);
        --filled_;
        nextFull_ = (nextFull_ + 1) % kBands;
        // A full ring wakes the reader when half of it is free again, so
        // that it reads several bands for each wake-up.
        wake = readerWaiting_ && filled_ <= kBands / 2;
    }
    if (wake)
        readerFree_.notify_one();
}

unsigned BandReader::linesRead() {
    const std::lock_guard lock(mutex_);
    return linesRead_;
}

} // namespace vrel::cups
