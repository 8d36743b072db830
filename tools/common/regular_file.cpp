#include "common/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrel::tools {

const char* fileKind(unsigned mode) {
    if (S_ISREG(mode))
        return "a regular file";
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "a special file";
}

OpenedFile openForReading(const std::string& path, bool fifoAllowed) {
    OpenedFile file;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        file.error = errno;
        return file;
    }
    file.mode = info.st_mode;
    const bool fifo = fifoAllowed && S_ISFIFO(info.st_mode);
    if (!S_ISREG(info.st_mode) && !fifo)
        return file;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (fifo ? 0 : O_NONBLOCK));
    if (fd < 0) {
        file.error = errno;
        return file;
    }
    if (::fstat(fd, &info) != 0 || (!S_ISREG(info.st_mode) && !(fifo && S_ISFIFO(info.st_mode)))) {
        file.mode = info.st_mode;
        ::close(fd);
        return file;
    }
    if (!fifo)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.fd = fd;
    file.mode = info.st_mode;
    file.size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    return file;
}

} // namespace vrel::tools
