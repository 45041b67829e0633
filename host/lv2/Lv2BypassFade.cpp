#include "host/lv2/Lv2BypassFade.h"

#include <algorithm>
#include <cmath>

Lv2BypassFade::Lv2BypassFade(double sampleRate)
    : step(1.0f / static_cast<float>(std::max(1.0, std::round(fadeSeconds * sampleRate))))
{
}

void Lv2BypassFade::setEnabled(bool enabled)
{
    target = enabled ? 1.0f : 0.0f;
}

void Lv2BypassFade::jumpTo(bool enabled)
{
    target = gain = enabled ? 1.0f : 0.0f;
}

bool Lv2BypassFade::mix(const float* const* dry, float* const* out, int channels, int count)
{
    const float start = gain;
    const float delta = target > start ? step : -step;
    int i = 0;
    for (int c = 0; c < channels; ++c) {
        float g = start;
        float* o = out[c];
        const float* d = dry[c];
        for (i = 0; i < count && g != target; ++i) {
            g = delta > 0.0f ? std::min(g + delta, target) : std::max(g + delta, target);
            o[i] = d ? d[i] + g * (o[i] - d[i]) : g * o[i];
        }
        // Past the fade's end the output is the target's alone.
        if (target == 0.0f)
            for (; i < count; ++i)
                o[i] = d ? d[i] : 0.0f;
        gain = g;
    }
    if (channels == 0)
        gain = std::clamp(start + delta * static_cast<float>(count), 0.0f, 1.0f);
    return start != 0.0f && gain == 0.0f && target == 0.0f;
}
