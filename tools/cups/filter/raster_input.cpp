#include "raster_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrel::cups {

RasterInput::RasterInput(int descriptor, const volatile std::sig_atomic_t* stopFlag)
    : fd(descriptor), stop(stopFlag) {
    struct stat info {};
    pipe = fstat(fd, &info) != 0 || !S_ISREG(info.st_mode);
}

bool RasterInput::uncompressed() const {
    // Version 1 and 3 streams in either byte order; version 2 is compressed.
    for (const char* word : {"RaSt", "tSaR", "RaS3", "3SaR"})
        if (std::memcmp(sync, word, 4) == 0)
            return true;
    return false;
}

void RasterInput::startHeader() {
    if (headersStarted == 1)
        firstHeaderRequest = headerRequest;
    ++headersStarted;
    headerRequest = 0;
    headerStart = bytes;
    inHeader = true;
}

bool RasterInput::endedCleanly() const {
    return ended && bytes == headerStart && headersStarted > 1 &&
           headerRequest == firstHeaderRequest;
}

ssize_t readRasterInput(void* context, unsigned char* buffer, size_t length) {
    auto* input = static_cast<RasterInput*>(context);
    if (input->inHeader && input->headerRequest == 0)
        input->headerRequest = length;
    for (;;) {
        if (input->interrupted.load(std::memory_order_relaxed))
            return 0;
        if (*input->stop) {
            input->stopped = true;
            return -1;
        }
        if (input->pipe) {
            // Wait for data in short slices, so that a stop or an
            // interruption is seen while the writer of the pipe is stalled.
            pollfd ready{input->fd, POLLIN, 0};
            const int waiting = poll(&ready, 1, 50);
            if (waiting == 0 || (waiting < 0 && errno == EINTR))
                continue;
        }
        const ssize_t n = read(input->fd, buffer, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            input->ended = true;
        if (n > 0) {
            if (input->bytes < 4) {
                const std::size_t first = 4 - static_cast<std::size_t>(input->bytes);
                std::memcpy(input->sync + input->bytes, buffer,
                            std::min(first, static_cast<std::size_t>(n)));
            }
            input->bytes += static_cast<uint64_t>(n);
        }
        return n;
    }
}

} // namespace vrel::cups
