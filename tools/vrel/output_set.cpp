#include "output_set.h"

#include "cli_error.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vrel::cli {

namespace fs = std::filesystem;

namespace {

std::string failure(const std::string& path, int error) {
    return "cannot write '" + path + "': " + std::strerror(error);
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void writeFully(int fd, const uint8_t* data, std::size_t size, const std::string& path) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            throw CliError(failure(path, done < 0 ? errno : ENOSPC));
        data += done;
        size -= static_cast<std::size_t>(done);
    }
}

// Copies the staged content into an existing device, FIFO or stdout.
void streamInto(int staged, int target, const std::string& path) {
    if (::lseek(staged, 0, SEEK_SET) != 0)
        throw CliError(failure(path, errno));
    uint8_t buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(staged, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw CliError(failure(path, errno));
        if (got == 0)
            return;
        writeFully(target, buffer, static_cast<std::size_t>(got), path);
    }
}

} // namespace

StagedOutput::~StagedOutput() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::FILE* StagedOutput::openStream() {
    const int copy = ::dup(fd_);
    std::FILE* stream = copy < 0 ? nullptr : ::fdopen(copy, "wb");
    if (!stream) {
        if (copy >= 0)
            ::close(copy);
        throw CliError(failure(path_, errno));
    }
    return stream;
}

void StagedOutput::write(const void* data, std::size_t size) {
    writeFully(fd_, static_cast<const uint8_t*>(data), size, path_);
}

StagedOutput& OutputSet::add(const std::string& path) {
    if (path.empty())
        throw CliError("no output file named");
    auto out = std::unique_ptr<StagedOutput>(new StagedOutput);
    out->path_ = path;
    struct stat info {};
    const bool exists = path != "-" && ::stat(path.c_str(), &info) == 0;
    if (path == "-" || (exists && (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)))) {
        if (path == "-" && ::isatty(STDOUT_FILENO))
            throw CliError("standard output is a terminal: redirect it or name a file with -o");
        // Streamed into place at commit; staged in an unnamed file.
        out->toStdout_ = path == "-";
        std::FILE* staging = std::tmpfile();
        if (!staging)
            throw CliError(failure(path, errno));
        out->fd_ = ::dup(::fileno(staging));
        std::fclose(staging);
        if (out->fd_ < 0)
            throw CliError(failure(path, errno));
    } else {
        if (exists && S_ISDIR(info.st_mode))
            throw CliError("output '" + path + "' is a directory, not a file");
        if (exists && !S_ISREG(info.st_mode))
            throw CliError("output '" + path + "' is " +
                           (S_ISBLK(info.st_mode) ? "a block device" : "a socket") +
                           "; vrel writes regular files, character devices and FIFOs only");
        const fs::path target(path);
        const auto name = target.filename().string();
        if (name.empty() || name == "." || name == "..")
            throw CliError("output '" + path + "' is a directory, not a file");
        const auto parent = target.parent_path();
        if (!parent.empty() && !fs::is_directory(parent))
            throw CliError("output directory '" + parent.string() + "' does not exist");
        // A hidden name in the same folder, so the rename stays on one file
        // system; mkstemp creates it exclusively and never follows a link.
        std::string pattern = (parent / ("." + name + ".XXXXXX")).string();
        out->fd_ = ::mkstemp(pattern.data());
        if (out->fd_ < 0)
            throw CliError(failure(path, errno));
        out->temporary_ = pattern;
        ::fchmod(out->fd_, newFileMode());
    }
    const auto canonical = [](const std::string& p) {
        std::error_code error;
        const auto full = fs::weakly_canonical(p, error);
        return error ? fs::path(p).lexically_normal() : full;
    };
    for (const auto& other : outputs_)
        if (out->toStdout_ ? other->toStdout_
                           : !other->toStdout_ && canonical(other->path_) == canonical(path))
            throw CliError("'" + path + "' is named for two outputs");
    outputs_.push_back(std::move(out));
    return *outputs_.back();
}

void OutputSet::createDirectories(const std::string& path) {
    std::vector<fs::path> missing;
    for (fs::path p = fs::path(path).lexically_normal(); !p.empty() && !fs::exists(p);
         p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path())
            break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0777) != 0 && errno != EEXIST)
            throw CliError("cannot create directory '" + it->string() +
                           "': " + std::strerror(errno));
        createdDirectories_.push_back(it->string());
    }
    if (!fs::is_directory(path))
        throw CliError("'" + path + "' is not a directory");
}

void OutputSet::rollback(const std::vector<std::string>& renamed) {
    for (const auto& path : renamed)
        ::unlink(path.c_str());
    for (auto& out : outputs_) {
        if (out->fd_ >= 0)
            ::close(out->fd_);
        out->fd_ = -1;
        if (!out->temporary_.empty())
            ::unlink(out->temporary_.c_str());
    }
    for (auto it = createdDirectories_.rbegin(); it != createdDirectories_.rend(); ++it)
        ::rmdir(it->c_str());
    finished_ = true;
}

void OutputSet::commit() {
    std::vector<std::string> renamed;
    try {
        for (auto& out : outputs_) {
            if (out->temporary_.empty())
                continue;
            const int fd = out->fd_;
            out->fd_ = -1;
            if (::close(fd) != 0)
                throw CliError(failure(out->path_, errno));
            if (::rename(out->temporary_.c_str(), out->path_.c_str()) != 0)
                throw CliError(failure(out->path_, errno));
            out->temporary_.clear();
            renamed.push_back(out->path_);
        }
        // A reader that goes away must give an error here, not end the
        // process with the renamed files left in place.
        const auto previous = std::signal(SIGPIPE, SIG_IGN);
        try {
            for (auto& out : outputs_) {
                if (out->fd_ < 0)
                    continue;
                if (out->toStdout_) {
                    streamInto(out->fd_, STDOUT_FILENO, "standard output");
                    continue;
                }
                const int target = ::open(out->path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
                if (target < 0)
                    throw CliError(failure(out->path_, errno));
                try {
                    streamInto(out->fd_, target, out->path_);
                } catch (...) {
                    ::close(target);
                    throw;
                }
                if (::close(target) != 0)
                    throw CliError(failure(out->path_, errno));
            }
        } catch (...) {
            std::signal(SIGPIPE, previous);
            throw;
        }
        std::signal(SIGPIPE, previous);
    } catch (...) {
        rollback(renamed);
        throw;
    }
    for (auto& out : outputs_) {
        if (out->fd_ >= 0)
            ::close(out->fd_);
        out->fd_ = -1;
    }
    finished_ = true;
}

OutputSet::~OutputSet() {
    if (!finished_)
        rollback({});
}

} // namespace vrel::cli
