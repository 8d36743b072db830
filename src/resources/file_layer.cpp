// File access on top of the platform seam: the database is opened by name,
// optionally below a directory, positioned absolutely and read in exact
// lengths. Every failure is -138.
//
// osHandle 0 means "no open file" on every host (the POSIX seam hands out
// descriptor + 1, a Windows handle is never 0), so closing a file that never
// opened, or closing twice, does nothing.
#include "resources/file_layer.h"

#include "resources/platform.h"

#include <atomic>
#include <cstring>

namespace vrel {

namespace {

constexpr int16_t kFileError = -138;

std::atomic<long> failOperationCountdown{0};
std::atomic<long> fileOperationCount{0};
std::atomic<long> openFileCount{0};

// Length of a NUL-terminated text, reading at most limit bytes of it;
// limit when no NUL was found among them.
std::size_t boundedLength(const char* text, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && text[n] != '\0') {
        ++n;
    }
    return n;
}

// Counts one seek or read; false when the test hook makes this one fail.
bool operationAllowed() {
    fileOperationCount.fetch_add(1, std::memory_order_relaxed);
    return !(failOperationCountdown.load(std::memory_order_relaxed) > 0 &&
             failOperationCountdown.fetch_sub(1, std::memory_order_relaxed) == 1);
}

// Joins directory, separator and name into path (kMaxPathLength + 1 bytes).
// A path that would not fit is refused, never truncated.
bool joinPath(const ResourceFile* file, char* path) {
    const std::size_t nameLength = boundedLength(file->fileName, sizeof file->fileName);
    if (nameLength == sizeof file->fileName) {
        return false; // no terminating NUL inside the name field
    }
    std::size_t used = 0;
    if (file->directory != nullptr) {
        const std::size_t dirLength = boundedLength(file->directory, kMaxPathLength + 1);
        if (dirLength + 1 + nameLength > kMaxPathLength) {
            return false;
        }
        std::memcpy(path, file->directory, dirLength);
        used = dirLength;
        path[used++] = platform::pathSeparator();
    } else if (nameLength > kMaxPathLength) {
        return false;
    }
    std::memcpy(path + used, file->fileName, nameLength);
    path[used + nameLength] = '\0';
    return true;
}

} // namespace

int16_t openFile(ResourceFile* file, int16_t mode) {
    file->osHandle = 0;
    if (mode != 0 && mode != 1) {
        return kFileError;
    }
    char path[kMaxPathLength + 1] = {};
    if (!joinPath(file, path)) {
        return kFileError;
    }
    uintptr_t handle = 0;
    if (!platform::openExisting(path, mode, &handle)) {
        return kFileError;
    }
    file->osHandle = handle;
    openFileCount.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void closeFile(ResourceFile* file) {
    if (file->osHandle == 0) {
        return;
    }
    platform::close(file->osHandle);
    file->osHandle = 0;
    openFileCount.fetch_sub(1, std::memory_order_relaxed);
}

int16_t seekTo(ResourceFile* file, uint32_t offset) {
    if (file->osHandle == 0 || !operationAllowed()) {
        return kFileError;
    }
    return platform::seekAbsolute(file->osHandle, offset) ? 0 : kFileError;
}

int16_t readExact(ResourceFile* file, void* destination, uint32_t length) {
    if (file->osHandle == 0 || !operationAllowed()) {
        return kFileError;
    }
    return platform::readFully(file->osHandle, destination, length) ? 0 : kFileError;
}

char pathSeparator() {
    return platform::pathSeparator();
}

namespace testing {

void failFileOperationAt(long k) {
    failOperationCountdown.store(k > 0 ? k : 0, std::memory_order_relaxed);
}

long fileOperationsMade() {
    return fileOperationCount.load(std::memory_order_relaxed);
}

void resetFileOperationCounter() {
    fileOperationCount.store(0, std::memory_order_relaxed);
}

long openFiles() {
    return openFileCount.load(std::memory_order_relaxed);
}

} // namespace testing

} // namespace vrel
