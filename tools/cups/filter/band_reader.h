// Reads the lines of one raster page on its own thread, a band of lines at a
// time, into a small ring of buffers: the next bands are read while the
// current one is converted, so reading the raster overlaps the conversion.
#pragma once

#include "raster_input.h"

#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cups/raster.h>
#include <memory>
#include <mutex>
#include <thread>

namespace vrel::cups {

class BandReader {
  public:
    struct Band {
        const uint8_t* lines = nullptr; // `count` lines, one after another
        unsigned count = 0;             // 0: no more lines (page done or cut short)
    };

    // Starts reading `height` lines of `lineBytes` bytes from `in`,
    // `bandLines` to a band. `input` is the raster's source, interrupted when
    // the page is abandoned.
    BandReader(cups_raster_t* in, RasterInput& input, unsigned lineBytes, unsigned height,
               unsigned bandLines);
    // Abandons the rest of the page unless it was read whole, and waits for
    // the reading thread.
    ~BandReader();
    BandReader(const BandReader&) = delete;
    BandReader& operator=(const BandReader&) = delete;

    // Waits for the next band. Gives up with `*stopped` set as soon as
    // `stop` is set (by a signal handler). The band stays valid until
    // release().
    Band next(const volatile std::sig_atomic_t& stop, bool* stopped);
    void release();
    // Lines read whole so far; after an empty band, where the page ended.
    unsigned linesRead();

  private:
    void run();
    // Reads count lines into lines; returns how many arrived whole.
    unsigned readLines(uint8_t* lines, unsigned count);

    static constexpr unsigned kBands = 16;
    cups_raster_t* in_;
    RasterInput& input_;
    unsigned lineBytes_, height_, bandLines_;
    std::unique_ptr<uint8_t[]> buffers_[kBands];
    unsigned counts_[kBands]{};
    std::mutex mutex_;
    std::condition_variable readerFree_;   // a slot of the ring is free, or cancelled
    std::condition_variable converterFed_; // a band is full, or no more will be
    bool readerWaiting_ = false, converterWaiting_ = false;
    bool finished_; // no more reads for this page
    bool cancelled_ = false;
    unsigned filled_ = 0, nextFull_ = 0, linesRead_ = 0;
    std::thread thread_;
};

} // namespace vrel::cups
