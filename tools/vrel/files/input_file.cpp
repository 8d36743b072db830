#include "input_file.h"

#include "cli_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrel::cli {

namespace {

const char* kindOf(mode_t mode) {
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

} // namespace

InputFile::InputFile(const std::string& path, const std::string& what) : path_(path), what_(what) {
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0)
        throw CliError("cannot open " + what + " '" + path + "': " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        const std::string kind = kindOf(info.st_mode);
        ::close(fd_);
        fd_ = -1;
        throw CliError("cannot read " + what + " '" + path + "': it is " + kind +
                       ", not a regular file");
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = static_cast<uint64_t>(info.st_size);
}

InputFile::~InputFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::vector<uint8_t> InputFile::readAll() {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size_));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            ::pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw CliError("cannot read " + what_ + " '" + path_ + "': " + std::strerror(errno));
        if (got == 0)
            break; // the file shrank while being read
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

std::FILE* InputFile::openStream() {
    const int copy = ::dup(fd_);
    std::FILE* stream = copy < 0 ? nullptr : ::fdopen(copy, "rb");
    if (!stream) {
        if (copy >= 0)
            ::close(copy);
        throw CliError("cannot read " + what_ + " '" + path_ + "': " + std::strerror(errno));
    }
    std::rewind(stream);
    return stream;
}

void checkInputFile(const std::string& path, const std::string& what) {
    InputFile file(path, what);
}

std::vector<uint8_t> readInputFile(const std::string& path, const std::string& what) {
    InputFile file(path, what);
    return file.readAll();
}

} // namespace vrel::cli
