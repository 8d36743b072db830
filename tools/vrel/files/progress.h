// A one-line progress bar on a terminal, for long commands: each stage
// (reading, converting, writing the TIFF, ...) shows its name and how far it
// got. Nothing is shown when the stream is not a terminal.
#pragma once

#include <cstdio>

namespace vrel::cli {

class ProgressBar {
  public:
    // Shown only when `enabled` is set and `out` is a terminal.
    explicit ProgressBar(bool enabled, std::FILE* out = stderr);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Starts a stage; its bar begins at 0 %.
    void stage(const char* name);
    void update(long done, long total);
    // Ends the line, so that other messages follow on their own lines.
    void finish();

  private:
    std::FILE* out_;
    bool active_;
    const char* stage_ = "working";
    int lastPercent_ = -1;
    bool shown_ = false;
};

} // namespace vrel::cli
