// The filter's raster input: a file or standard input, read for libcups
// through readRasterInput. A band reader on another thread can be woken out
// of a read that waits on a stalled pipe by setting `interrupted`.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace vrel::cups {

struct RasterInput {
    explicit RasterInput(int fd);

    int fd;
    bool pipe;                            // not a regular file: reads may wait
    bool ended = false;                   // the input reached its end
    std::atomic<bool> interrupted{false}; // reads give up (as at an end) once set
    uint64_t bytes = 0;                   // bytes read so far
    unsigned char sync[4]{};              // the stream's first four bytes

    // Whether the stream holds its pixels as they are (not run-length
    // compressed): then the bytes read tell how many lines arrived.
    bool uncompressed() const;
};

// The cupsRasterOpenIO callback: reads up to length bytes, 0 at the end of
// the input or once interrupted, -1 on a read error.
ssize_t readRasterInput(void* input, unsigned char* buffer, size_t length);

} // namespace vrel::cups
