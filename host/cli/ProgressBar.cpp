#include "host/cli/ProgressBar.h"

#include <algorithm>

namespace {
constexpr int barWidth = 40;
}

ProgressBar::ProgressBar(std::FILE* output, std::int64_t totalFrames, bool show)
    : stream(output), total(totalFrames), enabled(show && output && totalFrames > 0)
{
}

ProgressBar::~ProgressBar()
{
    finish();
}

void ProgressBar::update(std::int64_t done)
{
    if (!enabled)
        return;
    const int percent = static_cast<int>(std::clamp<std::int64_t>(done * 100 / total, 0, 100));
    if (percent == shownPercent)
        return;
    shownPercent = percent;
    char bar[barWidth + 1];
    const int filled = percent * barWidth / 100;
    std::fill_n(bar, filled, '#');
    std::fill_n(bar + filled, barWidth - filled, '.');
    bar[barWidth] = '\0';
    std::fprintf(stream, "\rrendering [%s] %3d%%", bar, percent);
    std::fflush(stream);
}

void ProgressBar::finish()
{
    if (!enabled || shownPercent < 0)
        return;
    std::fprintf(stream, "\r%*s\r", barWidth + 20, "");
    std::fflush(stream);
    shownPercent = -1;
}
