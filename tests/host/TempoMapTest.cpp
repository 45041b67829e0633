#include "host/cli/TempoMap.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {
MidiTimeDivision quarters(int ticks)
{
    return {ticks, 0, 0};
}
} // namespace

// Musical time: 120 BPM until the first change (the file format's default),
// then each change from its tick on. At 480 ticks a quarter and 48 kHz,
// 120 BPM is 50 samples a tick, 60 BPM 100, 100 BPM 60.
TEST(TempoMap, TempoChangesMoveLaterTicksAndTheSongPosition)
{
    const std::vector<MidiTempoChange> changes = {
        {960, 1000000}, {1440, 600000}, {1440, 1000000}, {2400, 600000}};
    const TempoMap map(quarters(480), changes, 90.0, 48000);
    EXPECT_TRUE(map.followsFileTempo());
    EXPECT_EQ(map.sampleOf(0), 0);
    EXPECT_EQ(map.sampleOf(480), 24000);
    EXPECT_EQ(map.sampleOf(960), 48000);
    // Of the two changes at 1440 the later one holds: still 60 BPM.
    EXPECT_EQ(map.sampleOf(1440), 96000);
    EXPECT_EQ(map.sampleOf(2400), 192000);
    EXPECT_EQ(map.sampleOf(2880), 192000 + 480 * 60);

    EXPECT_DOUBLE_EQ(map.tempoAt(0), 120.0);
    EXPECT_DOUBLE_EQ(map.tempoAt(47999), 120.0);
    EXPECT_DOUBLE_EQ(map.tempoAt(48000), 60.0);
    EXPECT_DOUBLE_EQ(map.tempoAt(200000), 100.0);
    // The position counts quarters: 2 in the first second, then one a second.
    EXPECT_DOUBLE_EQ(map.positionAt(0), 0.0);
    EXPECT_DOUBLE_EQ(map.positionAt(24000), 1.0);
    EXPECT_DOUBLE_EQ(map.positionAt(72000), 2.5);
    EXPECT_DOUBLE_EQ(map.positionAt(192000), 5.0);
    EXPECT_NEAR(map.positionAt(192000 + 48000), 5.0 + 100.0 / 60.0, 1e-12);

    // A first change after tick 0: the default tempo runs until it.
    const TempoMap late(quarters(480), std::vector<MidiTempoChange>{{480, 600000}}, 90.0, 48000);
    EXPECT_EQ(late.sampleOf(960), 24000 + 480 * 60);
    EXPECT_DOUBLE_EQ(late.tempoAt(0), 120.0);
}

// Without tempo changes the fallback tempo sets the ticks and the
// transport; the steady map of a render without a file is the same thing.
TEST(TempoMap, FallbackTempoAndRoundingToTheNearestSample)
{
    const TempoMap map(quarters(480), {}, 90.0, 48000);
    EXPECT_FALSE(map.followsFileTempo());
    EXPECT_EQ(map.sampleOf(480), 32000);
    EXPECT_DOUBLE_EQ(map.tempoAt(1000000), 90.0);
    EXPECT_DOUBLE_EQ(map.positionAt(48000), 1.5);

    const TempoMap steady(133.0, 44100);
    EXPECT_DOUBLE_EQ(steady.tempoAt(0), 133.0);
    EXPECT_NEAR(steady.positionAt(44100 * 60), 133.0, 1e-9);
    for (double bad : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_DOUBLE_EQ(TempoMap(bad, 48000).tempoAt(0), 120.0);
    EXPECT_DOUBLE_EQ(TempoMap(1e-300, 48000).tempoAt(0), 1.0);

    // 4 ticks a quarter at 120 BPM and 44.1 kHz: 5512.5 samples a tick.
    // Halves go up; other fractions to the nearest sample.
    const TempoMap coarse(quarters(4), {}, 120.0, 44100);
    EXPECT_EQ(coarse.sampleOf(1), 5513);
    EXPECT_EQ(coarse.sampleOf(2), 11025);
    const TempoMap fine(quarters(96), {}, 120.0, 44100);
    EXPECT_EQ(fine.sampleOf(1), 230); // 229.6875
    EXPECT_EQ(fine.sampleOf(2), 459); // 459.375
    EXPECT_EQ(fine.sampleOf(96 * 1000), 22050000);

    // Ticks far past any audio saturate instead of wrapping.
    const TempoMap slow(quarters(1), std::vector<MidiTempoChange>{{0, 0xFFFFFF}}, 120.0, 192000);
    EXPECT_EQ(slow.sampleOf(std::numeric_limits<std::uint64_t>::max()),
              std::numeric_limits<std::int64_t>::max());
    EXPECT_GT(slow.sampleOf(std::uint64_t{1} << 40), 0);
}

// SMPTE time: a tick is a fixed time whatever the tempo; the tempo changes
// only move the song position.
TEST(TempoMap, SmpteTicksAreTimeAndTheTempoOnlyMovesThePosition)
{
    // 25 frames of 40 ticks: one tick a millisecond. 60 BPM from the start,
    // 120 BPM from the second second.
    const std::vector<MidiTempoChange> changes = {{0, 1000000}, {2000, 500000}};
    const TempoMap map({0, 25, 40}, changes, 90.0, 48000);
    EXPECT_EQ(map.sampleOf(1000), 48000);
    EXPECT_EQ(map.sampleOf(2500), 120000);
    EXPECT_DOUBLE_EQ(map.tempoAt(0), 60.0);
    EXPECT_DOUBLE_EQ(map.tempoAt(96000), 120.0);
    EXPECT_DOUBLE_EQ(map.positionAt(96000), 2.0);
    EXPECT_DOUBLE_EQ(map.positionAt(144000), 4.0);

    // 29.97 drop-frame, 80 ticks a frame: 30 frames last 1.001 s.
    const TempoMap drop({0, 29, 80}, {}, 90.0, 48000);
    EXPECT_EQ(drop.sampleOf(2400), 48048);
    EXPECT_DOUBLE_EQ(drop.positionAt(48000), 1.5);
    const TempoMap film({0, 24, 2}, {}, 120.0, 48000);
    EXPECT_EQ(film.sampleOf(48), 48000);
}
