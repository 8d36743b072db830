// Opening the files the tool and the filter read (images, databases, PPDs,
// rasters): the path is asked what it is before it is opened, and only a
// regular file (or a FIFO where the caller allows one) is opened, so that
// nothing waits on a FIFO nobody writes or reads a device without end.
#pragma once

#include <cstdint>
#include <string>

namespace vrel::tools {

// What kind of file a stat mode names, for messages: "a regular file",
// "a directory", "a FIFO (named pipe)", "a character device", ...
const char* fileKind(unsigned mode);

struct OpenedFile {
    int fd = -1;       // open for reading, or -1
    int error = 0;     // errno of a failed stat or open; 0 when the kind was refused
    unsigned mode = 0; // the file's stat mode, when it was found
    uint64_t size = 0; // its size, for a regular file
};

// Opens path for reading. A regular file opens without waiting; should it
// have been swapped for something else between the look and the open, the
// second look refuses that. A FIFO opens, waiting for its writer, only when
// fifoAllowed; an open that a signal interrupts gives error EINTR. Anything
// else gives fd -1, error 0 and its mode.
OpenedFile openForReading(const std::string& path, bool fifoAllowed = false);

} // namespace vrel::tools
