// Opens the files a job names (the PPD, its database, the raster file),
// with the job's wording for what is wrong: a directory, a device, a socket
// or (unless allowed) a FIFO is refused by name before it is opened.
#pragma once

#include <string>

namespace vrel::cups {

// Returns a descriptor open for reading, or -1 with *problem saying what
// is wrong with path ("'/x' does not exist", "'/x' is a directory, not a
// regular file", ...). A FIFO is opened (and waited on) only when
// fifoAllowed; an open that a signal interrupts fails with errno EINTR and
// *problem empty.
int openInputFile(const std::string& path, bool fifoAllowed, std::string* problem);

} // namespace vrel::cups
