// The filter's ink raster output: standard output, written for libcups
// through writeRasterOutput. The libcups stream (and with it the sync word)
// is opened with the first page header written, so a job that fails before
// its first line writes nothing at all. A write that waits on a stalled pipe
// gives up once the job is asked to stop.
#pragma once

#include <csignal>
#include <cups/raster.h>
#include <sys/types.h>

namespace vrel::cups {

class RasterOutput {
  public:
    RasterOutput(int fd, const volatile std::sig_atomic_t* stop);
    ~RasterOutput();
    RasterOutput(const RasterOutput&) = delete;
    RasterOutput& operator=(const RasterOutput&) = delete;

    // The libcups stream, opened on first use; null when it cannot be.
    cups_raster_t* stream();
    // Whether a write gave up because the job was asked to stop.
    bool stopped() const { return stopped_; }

  private:
    friend ssize_t writeRasterOutput(void* output, unsigned char* buffer, size_t length);
    int fd_;
    bool pipe_;
    const volatile std::sig_atomic_t* stop_;
    bool stopped_ = false;
    cups_raster_t* raster_ = nullptr;
};

// The cupsRasterOpenIO callback: writes up to length bytes; -1 on a write
// error or once stopped.
ssize_t writeRasterOutput(void* output, unsigned char* buffer, size_t length);

} // namespace vrel::cups
