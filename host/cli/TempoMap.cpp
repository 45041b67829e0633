#include "host/cli/TempoMap.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double defaultBpm = 120.0;
constexpr std::uint64_t defaultNanosPerQuarter = 500'000'000;
constexpr std::uint64_t nanosPerSecond = 1'000'000'000;
// Ticks beyond this lie ages past any audio; capping them keeps every
// product below 2^125 (2^56 ticks × 2^36 ns × 2^31 Hz × 2).
constexpr std::uint64_t maxTick = std::uint64_t{1} << 56;

// Slower than 1 BPM would break the bound on the products below.
double validBpm(double bpm)
{
    return std::isfinite(bpm) && bpm > 0.0 ? std::clamp(bpm, 1.0, 1.0e6) : defaultBpm;
}

std::uint64_t nanosPerQuarter(double bpm)
{
    return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(60.0e9 / bpm)));
}

// Frames per second of an SMPTE rate as a fraction: 29 stands for the
// drop-frame rate of 30000/1001 frames a second.
void frameRate(int framesPerSecond, std::uint64_t& numerator, std::uint64_t& denominator)
{
    numerator = framesPerSecond == 29 ? 30000u : static_cast<std::uint64_t>(framesPerSecond);
    denominator = framesPerSecond == 29 ? 1001u : 1u;
}

std::int64_t roundedQuotient(TempoMapWide numerator, TempoMapWide denominator)
{
    const TempoMapWide rounded = (2 * numerator + denominator) / (2 * denominator);
    constexpr auto largest = static_cast<TempoMapWide>(std::numeric_limits<std::int64_t>::max());
    return rounded > largest ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(rounded);
}

} // namespace

TempoMap::TempoMap(double bpm, int rate) : TempoMap(MidiTimeDivision{1, 0, 0}, {}, bpm, rate) {}

TempoMap::TempoMap(const MidiTimeDivision& timeDivision, std::span<const MidiTempoChange> changes,
                   double fallbackBpm, int rate)
    : division(timeDivision), sampleRate(std::max(rate, 1)), fileTempo(!changes.empty())
{
    if (!division.isSmpte())
        division.ticksPerQuarter = std::max(division.ticksPerQuarter, 1);
    else
        division.ticksPerFrame = std::max(division.ticksPerFrame, 1);

    const double startBpm = fileTempo ? defaultBpm : validBpm(fallbackBpm);
    segments.push_back(
        {0, fileTempo ? defaultNanosPerQuarter : nanosPerQuarter(startBpm), startBpm, 0, 0.0, 0.0});

    std::vector<MidiTempoChange> sorted(changes.begin(), changes.end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.tick < b.tick; });
    for (const MidiTempoChange& change : sorted) {
        const std::uint64_t tick = std::min(change.tick, maxTick);
        const std::uint64_t micros = std::max<std::uint32_t>(change.microsecondsPerQuarter, 1);
        Segment next{tick, micros * 1000, 60.0e6 / static_cast<double>(micros), 0, 0.0, 0.0};
        const Segment& last = segments.back();
        if (division.isSmpte()) {
            std::uint64_t numerator = 0, denominator = 0;
            frameRate(division.framesPerSecond, numerator, denominator);
            next.seconds = static_cast<double>(tick) * static_cast<double>(denominator) /
                           (static_cast<double>(numerator) * division.ticksPerFrame);
            next.quarters = last.quarters + (next.seconds - last.seconds) * last.bpm / 60.0;
        } else {
            next.time = last.time + static_cast<TempoMapWide>(tick - last.tick) * last.nanosPerQuarter;
            next.seconds = static_cast<double>(next.time) / (static_cast<double>(division.ticksPerQuarter) *
                                                             static_cast<double>(nanosPerSecond));
            next.quarters = static_cast<double>(tick) / division.ticksPerQuarter;
        }
        // Of several changes at one tick the last one holds.
        if (tick == last.tick)
            segments.back() = next;
        else
            segments.push_back(next);
    }
}

std::int64_t TempoMap::sampleOf(std::uint64_t tick) const
{
    tick = std::min(tick, maxTick);
    const auto rate = static_cast<TempoMapWide>(sampleRate);
    if (division.isSmpte()) {
        std::uint64_t numerator = 0, denominator = 0;
        frameRate(division.framesPerSecond, numerator, denominator);
        return roundedQuotient(static_cast<TempoMapWide>(tick) * denominator * rate,
                               static_cast<TempoMapWide>(numerator) *
                                   static_cast<std::uint64_t>(division.ticksPerFrame));
    }
    // The last segment starting at or before the tick.
    const auto after = std::upper_bound(segments.begin(), segments.end(), tick,
                                        [](std::uint64_t t, const Segment& s) { return t < s.tick; });
    const Segment& s = *std::prev(after);
    const TempoMapWide time = s.time + static_cast<TempoMapWide>(tick - s.tick) * s.nanosPerQuarter;
    return roundedQuotient(time * rate, static_cast<TempoMapWide>(division.ticksPerQuarter) * nanosPerSecond);
}

const TempoMap::Segment& TempoMap::segmentAtSeconds(double seconds) const
{
    const auto after = std::upper_bound(segments.begin(), segments.end(), seconds,
                                        [](double t, const Segment& s) { return t < s.seconds; });
    return after == segments.begin() ? segments.front() : *std::prev(after);
}

double TempoMap::tempoAt(std::int64_t sample) const
{
    return segmentAtSeconds(static_cast<double>(sample) / sampleRate).bpm;
}

double TempoMap::positionAt(std::int64_t sample) const
{
    const double seconds = static_cast<double>(sample) / sampleRate;
    const Segment& s = segmentAtSeconds(seconds);
    return s.quarters + (seconds - s.seconds) * s.bpm / 60.0;
}
