// The renderer's MIDI path: reading a dense file, and the cost a MIDI event
// adds to a host block of the pass-through plug-in.
#include "host/cli/MidiEventFeeder.h"
#include "host/cli/MidiFile.h"
#include "../../tests/host/PassThroughPlugin.h"
#include "host/cli/RenderProcessor.h"
#include "host/cli/TempoMap.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

// Eight tracks of 12500 notes each (running status, one tick apart), with
// a tempo change every 100 ticks in the first track.
std::vector<std::uint8_t> denseFile()
{
    std::vector<std::uint8_t> bytes = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 8, 0x01, 0xE0};
    for (int t = 0; t < 8; ++t) {
        std::vector<std::uint8_t> track = {0, std::uint8_t(0x90 | t), 60, 100};
        for (int i = 1; i < 12500; ++i) {
            if (t == 0 && i % 100 == 0)
                track.insert(track.end(), {0, 0xFF, 0x51, 3, 0x07, std::uint8_t(0xA1 + i % 7), 0x20, 0,
                                           std::uint8_t(0x90 | t), 60, 100});
            else
                track.insert(track.end(), {1, std::uint8_t(i % 128), std::uint8_t(i % 2 ? 0 : 100)});
        }
        track.insert(track.end(), {0, 0xFF, 0x2F, 0});
        const auto n = static_cast<std::uint32_t>(track.size());
        bytes.insert(bytes.end(), {'M', 'T', 'r', 'k', std::uint8_t(n >> 24), std::uint8_t(n >> 16),
                                   std::uint8_t(n >> 8), std::uint8_t(n)});
        bytes.insert(bytes.end(), track.begin(), track.end());
    }
    return bytes;
}

void readAndSchedule(benchmark::State& state)
{
    const std::vector<std::uint8_t> bytes = denseFile();
    std::size_t events = 0;
    for (auto _ : state) {
        const MidiFileResult r = parseMidiFile(bytes);
        const TempoMap map(r.file.division, r.file.tempoChanges, 120.0, 48000);
        const auto scheduled = scheduleMidiEvents(r.file, map);
        events = scheduled.size();
        benchmark::DoNotOptimize(scheduled.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * events));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(readAndSchedule)->Unit(benchmark::kMillisecond);

// Blocks of 512 stereo samples through the pass-through plug-in, with an
// event every `range(0)` samples (0: none).
void renderBlocks(benchmark::State& state)
{
    const int spacing = static_cast<int>(state.range(0));
    constexpr int block = 512;
    constexpr std::int64_t length = 48000 * 60;
    std::vector<ScheduledMidiEvent> events;
    if (spacing > 0)
        for (std::int64_t s = 0; s < length; s += spacing)
            events.push_back({s, 0xB0, 7, std::uint8_t(s % 128)});
    auto start = [&events] {
        return std::make_unique<RenderProcessor>(std::make_unique<PassThroughPlugin>(2, 48000.0f), 2,
                                                 MidiEventFeeder(TempoMap(120.0, 48000), events));
    };
    auto processor = start();
    std::vector<float> left(block), right(block);
    const float* in[] = {left.data(), right.data()};
    float* out[] = {left.data(), right.data()};
    for (auto _ : state) {
        if (processor->getPosition() + block > length) {
            state.PauseTiming();
            processor = start(); // a fresh minute of events
            state.ResumeTiming();
        }
        processor->process(in, out, block);
    }
    state.SetItemsProcessed(state.iterations() * block);
}
BENCHMARK(renderBlocks)->Arg(0)->Arg(64)->Arg(8);

} // namespace
