// Opens the files a job names (the PPD, its database, the raster file) after
// asking what they are: a directory, a device, a socket or (unless allowed)
// a FIFO is refused by name before it is opened, so that the filter never
// waits on a FIFO nobody writes, nor reads a device without end.
#pragma once

#include <string>

namespace vrel::cups {

// Returns a descriptor open for reading, or -1 with *problem saying what
// is wrong with path ("'/x' does not exist", "'/x' is a directory, not a
// file", ...). A FIFO is opened (and waited on) only when fifoAllowed; an
// open that a signal interrupts fails with errno EINTR and *problem empty.
int openInputFile(const std::string& path, bool fifoAllowed, std::string* problem);

// What kind of file a stat mode is, for messages: "a directory", "a FIFO"...
const char* fileKind(unsigned mode);

} // namespace vrel::cups
