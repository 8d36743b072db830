#include "progress.h"

#include <cstdio>
#include <unistd.h>

namespace vrel::cli {

ProgressBar::ProgressBar(bool enabled) : active_(enabled && ::isatty(STDERR_FILENO)) {}

ProgressBar::~ProgressBar() {
    if (active_ && lastPercent_ >= 0)
        std::fputc('\n', stderr);
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
    std::fprintf(stderr, "\rconverting [%s] %3d%%", bar, percent);
    std::fflush(stderr);
}

} // namespace vrel::cli
