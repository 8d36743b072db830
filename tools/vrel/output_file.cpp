#include "output_file.h"

#include "cli_error.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace vrel::cli {

namespace {
std::atomic<unsigned> temporaryCounter{0};
}

OutputFile::OutputFile(std::string finalPath) : final_(std::move(finalPath)) {
    if (final_.empty())
        throw CliError("no output file named");
    const std::filesystem::path path(final_);
    const auto name = path.filename().string();
    if (name.empty() || std::filesystem::is_directory(path))
        throw CliError("output '" + final_ + "' is a directory, not a file");
    const auto parent = path.parent_path();
    if (!parent.empty() && !std::filesystem::is_directory(parent))
        throw CliError("output directory '" + parent.string() + "' does not exist");
    // A hidden name in the same directory, so the rename stays on one file system.
    const auto temporaryName = "." + name + ".tmp" + std::to_string(::getpid()) + "-" +
                               std::to_string(temporaryCounter.fetch_add(1));
    temporary_ = (parent / temporaryName).string();
}

OutputFile::~OutputFile() {
    if (!committed_)
        std::remove(temporary_.c_str());
}

void OutputFile::commit() {
    if (std::rename(temporary_.c_str(), final_.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        std::remove(temporary_.c_str());
        throw CliError("cannot write '" + final_ + "': " + reason);
    }
    committed_ = true;
}

} // namespace vrel::cli
