// The filter's raster input: a file or standard input, read for libcups
// through readRasterInput. A read that waits on a stalled pipe gives up once
// the job is asked to stop (`stop`, set by a signal handler) or once a band
// reader on another thread abandons the page (`interrupted`).
//
// It also tells a clean end of the stream from trailing damage. libcups reads
// a page header with one request for the whole header once its own buffer is
// empty (a compressed stream buffers what it reads ahead, so the bytes after
// the last page may already sit there). The stream ended cleanly when the
// read of the next header found the end at once, with nothing delivered and
// nothing left in libcups's buffer: its first request was as long as the
// first page's header request.
#pragma once

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace vrel::cups {

struct RasterInput {
    RasterInput(int fd, const volatile std::sig_atomic_t* stop);

    int fd;
    bool pipe;                              // not a regular file: reads may wait
    const volatile std::sig_atomic_t* stop; // set on SIGTERM
    bool ended = false;                     // the input reached its end
    bool stopped = false;                   // a read gave up because of `stop`
    std::atomic<bool> interrupted{false};   // reads give up (as at an end) once set
    uint64_t bytes = 0;                     // bytes read so far
    unsigned char sync[4]{};                // the stream's first four bytes

    // Whether the stream holds its pixels as they are (not run-length
    // compressed): then the bytes read tell how many lines arrived.
    bool uncompressed() const;

    // Called before and after each page header is read.
    void startHeader();
    void endHeader() { inHeader = false; }
    // After a header read that failed: whether the stream ended cleanly
    // after the pages before (see above).
    bool endedCleanly() const;

    // The first request of the current header read, and of the first page's.
    std::size_t headerRequest = 0, firstHeaderRequest = 0;
    uint64_t headerStart = 0; // bytes read when the current header read began
    int headersStarted = 0;
    bool inHeader = false;
};

// The cupsRasterOpenIO callback: reads up to length bytes, 0 at the end of
// the input or once interrupted, -1 on a read error or once stopped.
ssize_t readRasterInput(void* input, unsigned char* buffer, size_t length);

} // namespace vrel::cups
