// Checks of the Win32 platform seam (global-heap memory, CreateFileA file
// access) on a real Windows API, run inside the driver-like program.
#pragma once

#include "tally.h"

#include <string>

namespace vrel::windows_check {

// readableFile: an existing file of at least 64 bytes.
void checkPlatformSeam(const std::string& readableFile, Tally& tally);

} // namespace vrel::windows_check
