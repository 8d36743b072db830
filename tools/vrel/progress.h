// A one-line progress bar on a terminal (stderr), for long conversions.
#pragma once

namespace vrel::cli {

class ProgressBar {
  public:
    // Shown only when stderr is a terminal and `enabled` is set.
    explicit ProgressBar(bool enabled);
    ~ProgressBar();
    void update(long done, long total);

  private:
    bool active_;
    int lastPercent_ = -1;
};

} // namespace vrel::cli
