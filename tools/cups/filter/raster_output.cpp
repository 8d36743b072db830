#include "raster_output.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrel::cups {

RasterOutput::RasterOutput(int fd, const volatile std::sig_atomic_t* stop) : fd_(fd), stop_(stop) {
    struct stat info {};
    pipe_ = fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode);
}

RasterOutput::~RasterOutput() {
    if (raster_ != nullptr)
        cupsRasterClose(raster_);
}

cups_raster_t* RasterOutput::stream() {
    if (raster_ == nullptr)
        raster_ = cupsRasterOpenIO(writeRasterOutput, this, CUPS_RASTER_WRITE);
    return raster_;
}

ssize_t writeRasterOutput(void* context, unsigned char* buffer, size_t length) {
    auto* output = static_cast<RasterOutput*>(context);
    for (;;) {
        if (*output->stop_) {
            output->stopped_ = true;
            return -1;
        }
        std::size_t chunk = length;
        if (output->pipe_) {
            // Wait for room in short slices, so that a stop is seen while
            // the reader of the pipe is stalled. Room for a write means room
            // for PIPE_BUF bytes: a write of no more never blocks.
            pollfd ready{output->fd_, POLLOUT, 0};
            const int waiting = poll(&ready, 1, 50);
            if (waiting == 0 || (waiting < 0 && errno == EINTR))
                continue;
            chunk = std::min<std::size_t>(length, PIPE_BUF);
        }
        const ssize_t n = write(output->fd_, buffer, chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        return n;
    }
}

} // namespace vrel::cups
