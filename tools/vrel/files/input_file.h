// The files the tool reads (images, databases): only regular files are
// taken (common/regular_file.h). A FIFO, a device or a directory is refused
// at once with the kind of file it is, instead of a read that blocks or
// never ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vrel::cli {

class InputFile {
  public:
    // `what` names the file's role in messages ("image", "database").
    // Throws CliError when the file cannot be opened or is not regular.
    InputFile(const std::string& path, const std::string& what);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    int descriptor() const { return fd_; }
    uint64_t size() const { return size_; }
    const std::string& path() const { return path_; }
    // The whole file; throws CliError when it cannot be read.
    std::vector<uint8_t> readAll();
    // A stdio stream on the file from its start, owned by the caller; the
    // InputFile keeps its own descriptor.
    std::FILE* openStream();

  private:
    std::string path_, what_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

// Checks that `path` opens as a regular file, for readers that open it by
// name themselves (the engine's database loader).
void checkInputFile(const std::string& path, const std::string& what);

// The whole content of a regular file.
std::vector<uint8_t> readInputFile(const std::string& path, const std::string& what);

} // namespace vrel::cli
