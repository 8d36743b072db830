// The outputs of one command, which appear together or not at all.
//
// Each output is first written to a temporary file created exclusively
// (mkstemp, never through a planted link) in the output's own folder; only
// when every output is complete are they renamed into place, one after the
// other. When anything fails, every temporary file, every output already
// renamed and every folder created for the outputs is removed again.
//
// An existing character device or FIFO (and "-", standard output) is never
// replaced: its content is staged in an unnamed temporary file and streamed
// into it after the renames. Directories, block devices and sockets are
// refused.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vrel::cli {

class StagedOutput {
  public:
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // The name the user gave, for messages.
    const std::string& path() const { return path_; }
    // Where the content goes until the set is committed (readable and
    // seekable, as the TIFF writer needs).
    int descriptor() const { return fd_; }
    // A stdio stream on a copy of the descriptor; the caller closes it.
    std::FILE* openStream();
    void write(const void* data, std::size_t size);

  private:
    friend class OutputSet;
    StagedOutput() = default;
    std::string path_;
    std::string temporary_; // empty when streamed into an existing special file
    bool toStdout_ = false;
    int fd_ = -1;
};

class OutputSet {
  public:
    OutputSet() = default;
    ~OutputSet(); // removes everything unless committed
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // Prepares one output; throws CliError at once when it cannot be written.
    StagedOutput& add(const std::string& path);
    // Creates a folder and its missing parents; removed again on failure.
    void createDirectories(const std::string& path);
    // Puts every output in place; throws CliError (after removing them all)
    // when one cannot be.
    void commit();

  private:
    void rollback(const std::vector<std::string>& renamed);
    std::vector<std::unique_ptr<StagedOutput>> outputs_;
    std::vector<std::string> createdDirectories_; // in creation order
    bool finished_ = false;
};

} // namespace vrel::cli
