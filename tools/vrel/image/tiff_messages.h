// libtiff's error messages, kept per thread for the tool's own messages.
// Reading and writing share the one handler: libtiff's handlers are global.
#pragma once

#include <string>

namespace vrel::cli {

// Installs the handlers (errors kept, warnings dropped: libtiff warns about
// every private tag it does not know) and clears this thread's message.
void captureTiffMessages();
// The last error libtiff reported on this thread.
const std::string& lastTiffMessage();

} // namespace vrel::cli
