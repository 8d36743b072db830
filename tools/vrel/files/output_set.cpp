#include "output_set.h"

#include "cli_error.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vrel::cli {

namespace fs = std::filesystem;

namespace {

// "-" is standard output.
std::string failure(const std::string& path, int error) {
    return "cannot write " + (path == "-" ? std::string("standard output") : "'" + path + "'") +
           ": " + std::strerror(error);
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

// Copies a staged file into an existing device, FIFO or standard output.
void streamInto(int staged, int target, const std::string& path) {
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

// Opens `path` (or takes `fd`, not closed) for the duration of a copy.
class Descriptor {
  public:
    Descriptor(const std::string& path, int flags, const std::string& shown) {
        fd_ = ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0)
            throw CliError(failure(shown, errno));
    }
    explicit Descriptor(int fd) : fd_(fd), owned_(false) {}
    ~Descriptor() {
        if (owned_ && fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void close(const std::string& shown) {
        const int fd = fd_;
        fd_ = -1;
        if (owned_ && ::close(fd) != 0)
            throw CliError(failure(shown, errno));
    }

  private:
    int fd_ = -1;
    bool owned_ = true;
};

void stream(const StagedOutput& out, const std::string& temporary, bool toStdout) {
    const std::string& shown = out.path();
    Descriptor source(temporary, O_RDONLY, shown);
    if (toStdout) {
        streamInto(source.get(), STDOUT_FILENO, shown);
        return;
    }
    Descriptor target(shown, O_WRONLY, shown);
    streamInto(source.get(), target.get(), shown);
    target.close(shown);
}

std::string temporaryFolder() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::error_code error;
    return tmpdir && *tmpdir && fs::is_directory(tmpdir, error) ? tmpdir : "/tmp";
}

std::string canonical(const std::string& path) {
    std::error_code error;
    const auto full = fs::weakly_canonical(path, error);
    return (error ? fs::path(path).lexically_normal() : full).string();
}

} // namespace

StagedOutput::~StagedOutput() {
    if (fd_ >= 0)
        ::close(fd_);
}

int StagedOutput::descriptor() const {
    if (fd_ < 0)
        throw CliError("cannot write '" + path_ + "': the output is already finished");
    return fd_;
}

std::FILE* StagedOutput::openStream() {
    const int copy = ::dup(descriptor());
    std::FILE* stream = copy < 0 ? nullptr : ::fdopen(copy, "wb");
    if (!stream) {
        if (copy >= 0)
            ::close(copy);
        throw CliError(failure(path_, errno));
    }
    return stream;
}

void StagedOutput::write(const void* data, std::size_t size) {
    writeFully(descriptor(), static_cast<const uint8_t*>(data), size, path_);
}

void StagedOutput::finish() {
    if (fd_ < 0)
        return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw CliError(failure(path_, errno));
}

void OutputSet::stageStreamed(StagedOutput& out) {
    if (out.toStdout_ && ::isatty(STDOUT_FILENO))
        throw CliError("standard output is a terminal: redirect it or name a file with -o");
    std::string pattern = (fs::path(temporaryFolder()) / ".vrel-output.XXXXXX").string();
    const StopSignalsHeld held;
    out.fd_ = ::mkstemp(pattern.data());
    if (out.fd_ < 0)
        throw CliError("cannot stage '" + out.path_ + "' in '" + temporaryFolder() +
                       "': " + std::strerror(errno));
    out.temporary_ = pattern;
    out.registered_ = RegisteredPath(pattern, RegisteredPath::Kind::File);
}

void OutputSet::stageRegular(StagedOutput& out, bool exists, unsigned mode) {
    const std::string& path = out.path_;
    if (exists && S_ISDIR(mode))
        throw CliError("output '" + path + "' is a directory, not a file");
    if (exists && !S_ISREG(mode))
        throw CliError("output '" + path + "' is " +
                       (S_ISBLK(mode) ? "a block device" : "a socket") +
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
    const StopSignalsHeld held;
    out.fd_ = ::mkstemp(pattern.data());
    if (out.fd_ < 0)
        throw CliError(failure(path, errno));
    out.temporary_ = pattern;
    out.registered_ = RegisteredPath(pattern, RegisteredPath::Kind::File);
    ::fchmod(out.fd_, newFileMode());
}

StagedOutput& OutputSet::add(const std::string& path) {
    if (path.empty())
        throw CliError("no output file named");
    auto out = std::unique_ptr<StagedOutput>(new StagedOutput);
    out->path_ = path;
    out->toStdout_ = path == "-";
    out->canonical_ = out->toStdout_ ? std::string() : canonical(path);
    for (const auto& other : outputs_)
        if (other->toStdout_ == out->toStdout_ && other->canonical_ == out->canonical_)
            throw CliError("'" + path + "' is named for two outputs");
    struct stat info {};
    const bool exists = !out->toStdout_ && ::stat(path.c_str(), &info) == 0;
    out->streamed_ =
        out->toStdout_ || (exists && (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)));
    if (out->streamed_)
        stageStreamed(*out);
    else
        stageRegular(*out, exists, info.st_mode);
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
        const StopSignalsHeld held;
        if (::mkdir(it->c_str(), 0777) != 0 && errno != EEXIST)
            throw CliError("cannot create directory '" + it->string() +
                           "': " + std::strerror(errno));
        createdDirectories_.push_back(it->string());
        registeredDirectories_.emplace_back(it->string(), RegisteredPath::Kind::Folder);
    }
    if (!fs::is_directory(path))
        throw CliError("'" + path + "' is not a directory");
}

void OutputSet::rollback(const std::vector<StagedOutput*>& renamed) {
    for (const auto* out : renamed)
        ::unlink(out->path_.c_str());
    for (auto& out : outputs_) {
        if (out->fd_ >= 0)
            ::close(out->fd_);
        out->fd_ = -1;
        if (!out->temporary_.empty())
            ::unlink(out->temporary_.c_str());
        out->registered_.release();
    }
    for (auto it = createdDirectories_.rbegin(); it != createdDirectories_.rend(); ++it)
        ::rmdir(it->c_str());
    registeredDirectories_.clear();
    finished_ = true;
}

void OutputSet::commit() {
    std::vector<StagedOutput*> renamed;
    try {
        for (auto& out : outputs_)
            out->finish();
        // Streams first: when one fails, no regular file has been touched.
        // A reader that goes away gives an error here, not the end of the
        // process with the temporaries left behind.
        const auto previous = std::signal(SIGPIPE, SIG_IGN);
        try {
            for (auto& out : outputs_)
                if (out->streamed_)
                    stream(*out, out->temporary_, out->toStdout_);
        } catch (...) {
            std::signal(SIGPIPE, previous);
            throw;
        }
        std::signal(SIGPIPE, previous);
        for (auto& out : outputs_) {
            if (out->streamed_)
                continue;
            const StopSignalsHeld held;
            if (::rename(out->temporary_.c_str(), out->path_.c_str()) != 0)
                throw CliError(failure(out->path_, errno));
            // Registered under its own name from here: a stopping signal
            // removes it as the rollback would.
            out->registered_ = RegisteredPath(out->path_, RegisteredPath::Kind::File);
            out->temporary_.clear();
            renamed.push_back(out.get());
        }
    } catch (...) {
        rollback(renamed);
        throw;
    }
    for (auto& out : outputs_) {
        if (!out->temporary_.empty())
            ::unlink(out->temporary_.c_str()); // a streamed output's copy
        out->registered_.release();
    }
    registeredDirectories_.clear();
    finished_ = true;
}

OutputSet::~OutputSet() {
    if (!finished_)
        rollback({});
}

} // namespace vrel::cli
