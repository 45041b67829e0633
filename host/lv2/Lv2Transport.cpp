#include "host/lv2/Lv2Transport.h"

#include <cmath>
#include <limits>

namespace {

bool positive(double v)
{
    return std::isfinite(v) && v > 0.0;
}

} // namespace

Lv2Transport::Position Lv2Transport::emptyPosition()
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    return {none, none, none, none, none, none, none};
}

Lv2Transport::Lv2Transport(double rate) : sampleRate(positive(rate) ? rate : 48000.0) {}

void Lv2Transport::apply(const Position& p)
{
    if (positive(p.beatsPerMinute))
        beatsPerMinute = p.beatsPerMinute;
    if (std::isfinite(p.speed))
        speed = p.speed;
    if (positive(p.beatsPerBar))
        beatsPerBar = p.beatsPerBar;
    if (positive(p.beatUnit))
        beatUnit = p.beatUnit;
    const double quarterPerBeat = 4.0 / beatUnit;
    if (std::isfinite(p.bar))
        position = (p.bar * beatsPerBar + (std::isfinite(p.barBeat) ? p.barBeat : 0.0)) * quarterPerBeat;
    else if (std::isfinite(p.beat))
        position = p.beat * quarterPerBeat;
}

void Lv2Transport::advance(int samples)
{
    position += speed * getTempo() / 60.0 * static_cast<double>(samples) / sampleRate;
}
