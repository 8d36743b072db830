// File access: open the profile database by name (optionally below a
// directory), position absolutely, read exact lengths, close.
#pragma once

#include "core/records.h"

#include <cstddef>
#include <cstdint>

namespace vrel {

// Directory, separator and name together hold at most this many characters.
inline constexpr std::size_t kMaxPathLength = 287;

// mode 0 = read, 1 = read and write; 0 or -138.
int16_t openFile(ResourceFile* file, int16_t mode);
void closeFile(ResourceFile* file);
int16_t seekTo(ResourceFile* file, uint32_t offset);
// 0 when exactly length bytes were read, else -138.
int16_t readExact(ResourceFile* file, void* destination, uint32_t length);

// The separator that joins a directory and a file name on this host.
char pathSeparator();

namespace testing {
// Makes the k-th seek or read from now on (1-based) fail; 0 disables.
void failFileOperationAt(long k);
long fileOperationsMade();
void resetFileOperationCounter();
// Files currently open through the file layer.
long openFiles();
} // namespace testing

} // namespace vrel
