#include "input_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrel::cups {

const char* fileKind(unsigned mode) {
    if (S_ISREG(mode))
        return "a regular file";
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

int openInputFile(const std::string& path, bool fifoAllowed, std::string* problem) {
    const std::string quoted = "'" + path + "'";
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        *problem = quoted + (errno == ENOENT
                                 ? " does not exist"
                                 : " cannot be read (" + std::string(std::strerror(errno)) + ")");
        return -1;
    }
    const bool fifo = fifoAllowed && S_ISFIFO(info.st_mode);
    if (!S_ISREG(info.st_mode) && !fifo) {
        *problem = quoted + " is " + fileKind(info.st_mode) + ", not a regular file";
        return -1;
    }
    // A regular file is opened without waiting; should it have been swapped
    // for something else since, the second look refuses that.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | (fifo ? 0 : O_NONBLOCK));
    if (fd < 0) {
        const int error = errno;
        if (error != EINTR)
            *problem = quoted + " cannot be read (" + std::strerror(error) + ")";
        errno = error;
        return -1;
    }
    if (fstat(fd, &info) != 0 || (!S_ISREG(info.st_mode) && !fifo)) {
        *problem = quoted + " is " + fileKind(info.st_mode) + ", not a regular file";
        close(fd);
        return -1;
    }
    if (!fifo)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace vrel::cups
