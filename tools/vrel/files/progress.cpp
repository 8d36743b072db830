#include "progress.h"

#include "common/write_text.h"

#include <unistd.h>

namespace vrel::cli {

ProgressBar::ProgressBar(bool enabled, std::FILE* out)
    : out_(out), active_(enabled && out && ::isatty(::fileno(out))) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::finish() {
    if (active_ && shown_)
        std::fputc('\n', out_);
    shown_ = false;
}

void ProgressBar::stage(const char* name) {
    stage_ = name;
    lastPercent_ = -1;
    update(0, 1);
}

void ProgressBar::update(long done, long total) {
    if (!active_ || total <= 0)
        return;
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    constexpr int kWidth = 40;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i)
        bar[i] = i < percent * kWidth / 100 ? '#' : '.';
    bar[kWidth] = '\0';
    // Padded so that a shorter stage name overwrites a longer one.
    vrel::tools::writeText(out_, "\r{:<16} [{}] {:>3}%", stage_, bar, percent);
    std::fflush(out_);
    shown_ = true;
}

} // namespace vrel::cli
