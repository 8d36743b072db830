// Writes an output under a temporary name beside its final path and renames
// it into place only when the whole file was written, so that an error never
// leaves a partial output behind.
#pragma once

#include <string>

namespace vrel::cli {

class OutputFile {
  public:
    explicit OutputFile(std::string finalPath);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The path to write to until commit().
    const std::string& temporaryPath() const { return temporary_; }
    const std::string& finalPath() const { return final_; }
    // Renames the temporary file to the final path; throws CliError on failure.
    void commit();

  private:
    std::string final_;
    std::string temporary_;
    bool committed_ = false;
};

} // namespace vrel::cli
