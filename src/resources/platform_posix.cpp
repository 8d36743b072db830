// The POSIX side of the platform seam: calloc for zero-filled memory that
// never moves, and plain descriptors for read access to the database.
//
// A file handle is the descriptor plus one, so that the value 0 never names
// an open file: the file layer uses 0 for "no file" on every host.
#include "resources/platform.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrel::platform {

namespace {

int descriptorOf(uintptr_t handle) {
    return static_cast<int>(handle - 1);
}

} // namespace

void* allocZeroed(uint32_t size) {
    // A request for zero bytes still yields a distinct, freeable block.
    return std::calloc(1, size == 0 ? 1 : size);
}

void release(void* address) {
    std::free(address);
}

char pathSeparator() {
    return '/';
}

bool openExisting(const char* path, int16_t mode, uintptr_t* handle) {
    int flags = 0;
    if (mode == 0) {
        flags = O_RDONLY;
    } else if (mode == 1) {
        flags = O_RDWR;
    } else {
        return false;
    }
    // Only a regular file is a database. Opening without blocking and
    // checking the kind before any read keeps a FIFO (which would wait for a
    // writer) or a device (which may never end) from hanging the caller.
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || ::fcntl(fd, F_SETFL, flags) != 0) {
        ::close(fd);
        return false;
    }
    *handle = static_cast<uintptr_t>(fd) + 1;
    return true;
}

bool seekAbsolute(uintptr_t handle, uint32_t offset) {
    const off_t target = static_cast<off_t>(offset);
    return ::lseek(descriptorOf(handle), target, SEEK_SET) == target;
}

bool readFully(uintptr_t handle, void* destination, uint32_t length) {
    auto* out = static_cast<unsigned char*>(destination);
    uint32_t done = 0;
    while (done < length) {
        const ssize_t got = ::read(descriptorOf(handle), out + done, length - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false; // error or end of file before the full length
        }
        done += static_cast<uint32_t>(got);
    }
    return true;
}

void close(uintptr_t handle) {
    ::close(descriptorOf(handle));
}

} // namespace vrel::platform
