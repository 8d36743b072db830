// The outputs of one command, which appear together or not at all.
//
// Each output is first written to a temporary file created exclusively
// (mkstemp, never through a planted link): a hidden one in the output's own
// folder for a regular file, so that the rename stays on one file system;
// one in the temporary folder ($TMPDIR, else /tmp) for an existing character
// device or FIFO and for "-", standard output, which are never replaced but
// have the content streamed into them. Directories, block devices and
// sockets are refused.
//
// An output holds a descriptor only while it is written: finish() closes it
// and keeps the temporary's name, so that a command may stage any number of
// outputs. commit() first streams the content of the streamed outputs, then
// renames the regular files into place one after the other. A failing
// stream (a reader that went away, a full device) thus leaves every regular
// file as it was. When a rename fails (an I/O error, or a name that turned
// into a folder meanwhile), the files already renamed are removed again:
// the files they replaced are lost then. Whatever fails, every temporary
// file and every folder created for the outputs is removed; SIGINT, SIGTERM
// and SIGHUP remove them too (temporary_registry.h).
#pragma once

#include "temporary_registry.h"

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
    // seekable, as the TIFF writer needs); throws CliError once finished.
    int descriptor() const;
    // A stdio stream on a copy of the descriptor; the caller closes it.
    std::FILE* openStream();
    void write(const void* data, std::size_t size);
    // The content is complete: closes the descriptor (throws CliError when
    // the close reports a write error). commit() finishes the others.
    void finish();

  private:
    friend class OutputSet;
    StagedOutput() = default;
    std::string path_;
    std::string canonical_; // the full path, to find a file named twice
    std::string temporary_; // empty once renamed into place
    RegisteredPath registered_;
    bool streamed_ = false; // into "-", an existing device or FIFO
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
    void stageStreamed(StagedOutput& out);
    void stageRegular(StagedOutput& out, bool exists, unsigned mode);
    void rollback(const std::vector<StagedOutput*>& renamed);
    std::vector<std::unique_ptr<StagedOutput>> outputs_;
    std::vector<std::string> createdDirectories_; // in creation order
    std::vector<RegisteredPath> registeredDirectories_;
    bool finished_ = false;
};

} // namespace vrel::cli
