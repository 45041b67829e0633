#pragma once

#include <cstdint>
#include <cstdio>

// A one-line progress bar, redrawn in place on a terminal, only when the
// percentage moves. A disabled bar prints nothing.
class ProgressBar {
public:
    ProgressBar(std::FILE* stream, std::int64_t total, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(std::int64_t done);
    // Clears the line, so what follows starts on a clean line.
    void finish();

    bool isEnabled() const { return enabled; }

private:
    std::FILE* stream;
    std::int64_t total;
    bool enabled;
    int shownPercent = -1;
};
