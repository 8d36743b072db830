#include "input_file.h"

#include "cli_error.h"
#include "common/regular_file.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace vrel::cli {

InputFile::InputFile(const std::string& path, const std::string& what) : path_(path), what_(what) {
    const tools::OpenedFile file = tools::openForReading(path);
    if (file.error != 0)
        throw CliError("cannot open " + what + " '" + path + "': " + std::strerror(file.error));
    if (file.fd < 0)
        throw CliError("cannot read " + what + " '" + path + "': it is " +
                       tools::fileKind(file.mode) + ", not a regular file");
    fd_ = file.fd;
    size_ = file.size;
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
