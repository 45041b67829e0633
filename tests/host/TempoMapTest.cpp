#include "host/cli/TempoMap.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

namespace {

using Changes = std::vector<MidiTempoChange>;

MidiTimeDivision quarters(int ticks)
{
    return {ticks, 0, 0};
}

// Ticks to samples, and samples to tempo (BPM) and song position
// (quarter notes), each as pairs of (where, expected).
void expectSamples(const TempoMap& map, const std::vector<std::pair<std::uint64_t, std::int64_t>>& ticks)
{
    for (const auto& [tick, sample] : ticks)
        EXPECT_EQ(map.sampleOf(tick), sample) << "tick " << tick;
}

void expectTempoAndPosition(const TempoMap& map, const std::vector<std::pair<std::int64_t, double>>& tempos,
                            const std::vector<std::pair<std::int64_t, double>>& positions)
{
    for (const auto& [sample, tempo] : tempos)
        EXPECT_DOUBLE_EQ(map.tempoAt(sample), tempo) << "sample " << sample;
    for (const auto& [sample, position] : positions)
        EXPECT_NEAR(map.positionAt(sample), position, 1e-12) << "sample " << sample;
}

} // namespace

// Musical time: 120 BPM until the first change (the file format's default),
// then each change from its tick on. At 480 ticks a quarter and 48 kHz,
// 120 BPM is 50 samples a tick, 60 BPM 100, 100 BPM 60. Without changes
// the fallback tempo holds; the steady map of a render without a file is
// the same thing.
TEST(TempoMap, TempoChangesOrTheFallbackMoveTicksAndTheSongPosition)
{
    // Of the two changes at 1440 the later one holds: still 60 BPM.
    const TempoMap map(quarters(480), Changes{{960, 1000000}, {1440, 600000}, {1440, 1000000}, {2400, 600000}}, 90.0,
                       48000);
    EXPECT_TRUE(map.followsFileTempo());
    expectSamples(map, {{0, 0}, {480, 24000}, {960, 48000}, {1440, 96000}, {2400, 192000}, {2880, 192000 + 480 * 60}});
    // The position counts quarters: 2 in the first second, then one a second.
    expectTempoAndPosition(map, {{0, 120.0}, {47999, 120.0}, {48000, 60.0}, {200000, 100.0}},
                           {{0, 0.0}, {24000, 1.0}, {72000, 2.5}, {192000, 5.0}, {240000, 5.0 + 100.0 / 60.0}});

    // A first change after tick 0: the default tempo runs until it.
    const TempoMap late(quarters(480), Changes{{480, 600000}}, 90.0, 48000);
    expectSamples(late, {{960, 24000 + 480 * 60}});
    expectTempoAndPosition(late, {{0, 120.0}}, {});

    const TempoMap fallback(quarters(480), {}, 90.0, 48000);
    EXPECT_FALSE(fallback.followsFileTempo());
    expectSamples(fallback, {{480, 32000}});
    expectTempoAndPosition(fallback, {{1000000, 90.0}}, {{48000, 1.5}});
    expectTempoAndPosition(TempoMap(133.0, 44100), {{0, 133.0}}, {});
    EXPECT_NEAR(TempoMap(133.0, 44100).positionAt(44100 * 60), 133.0, 1e-9);
    for (double bad : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_DOUBLE_EQ(TempoMap(bad, 48000).tempoAt(0), 120.0);
    EXPECT_DOUBLE_EQ(TempoMap(1e-300, 48000).tempoAt(0), 1.0);
}

// Ticks land on the nearest sample (halves go up) and saturate far past any
// audio; SMPTE ticks are time whatever the tempo, which only moves the song
// position.
TEST(TempoMap, RoundingSaturationAndSmpteTime)
{
    // 4 ticks a quarter at 120 BPM and 44.1 kHz: 5512.5 samples a tick;
    // 96 ticks: 229.6875.
    expectSamples(TempoMap(quarters(4), {}, 120.0, 44100), {{1, 5513}, {2, 11025}});
    expectSamples(TempoMap(quarters(96), {}, 120.0, 44100), {{1, 230}, {2, 459}, {96 * 1000, 22050000}});
    const TempoMap slow(quarters(1), Changes{{0, 0xFFFFFF}}, 120.0, 192000);
    EXPECT_EQ(slow.sampleOf(std::numeric_limits<std::uint64_t>::max()), std::numeric_limits<std::int64_t>::max());
    EXPECT_GT(slow.sampleOf(std::uint64_t{1} << 40), 0);

    // 25 frames of 40 ticks: one tick a millisecond. 60 BPM from the start,
    // 120 BPM from the second second.
    const TempoMap smpte({0, 25, 40}, Changes{{0, 1000000}, {2000, 500000}}, 90.0, 48000);
    expectSamples(smpte, {{1000, 48000}, {2500, 120000}});
    expectTempoAndPosition(smpte, {{0, 60.0}, {96000, 120.0}}, {{96000, 2.0}, {144000, 4.0}});
    // 29.97 drop-frame, 80 ticks a frame: 30 frames last 1.001 s.
    const TempoMap drop({0, 29, 80}, {}, 90.0, 48000);
    expectSamples(drop, {{2400, 48048}});
    expectTempoAndPosition(drop, {}, {{48000, 1.5}});
    expectSamples(TempoMap({0, 24, 2}, {}, 120.0, 48000), {{48, 48000}});
}
