// The platform seam under the block and file layers: raw zero-filled memory
// at a fixed address, and read-only file access by path. One implementation
// per host family is compiled (platform_posix.cpp or platform_win32.cpp); the
// choice is made in src/CMakeLists.txt.
#pragma once

#include <cstdint>

namespace vrel::platform {

// Zero-filled memory that stays at one address; null when none.
void* allocZeroed(uint32_t size);
void release(void* address);

// The character that joins a directory and a file name.
char pathSeparator();

// mode 0 = read with shared read access, 1 = read and write; existing files only.
bool openExisting(const char* path, int16_t mode, uintptr_t* handle);
bool seekAbsolute(uintptr_t handle, uint32_t offset);
// True when exactly length bytes were read.
bool readFully(uintptr_t handle, void* destination, uint32_t length);
void close(uintptr_t handle);

} // namespace vrel::platform
