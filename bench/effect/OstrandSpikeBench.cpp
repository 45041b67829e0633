// What one audio block costs when it has to take in a large change: a full
// state load (a preset, an undo step, an A/B switch), a sort of all slots, a
// storm of slot edits, MIDI events in the block, a program change in the
// block; and what reset costs. Each
// case makes its change on this thread between two blocks (as a control
// thread would while the host plays) and times only the 64-sample block
// that applies it, at 48 kHz, beside a block without changes. The budget is
// a tenth of the block's 1333 µs. Times are the thread's own CPU time, so
// other programs on a busy machine do not count; "worst_us" is the slowest
// such block.
#include "effect/OstrandPlugin.h"
#include "framework/AbstractPluginParameter.h"
#include "framework/ParameterAssignment.h"
#include "framework/StateRecord.h"
#include "modulation/ModMatrixParamController.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "persistence/PresetLibrary.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int blockSize = 64;

double threadSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Rig {
    Rig()
    {
        // User settings and the controller map would go to the real home.
        ::setenv("XDG_CONFIG_HOME", "/tmp/ostrand-bench-config", 1);
        ::setenv("XDG_DATA_HOME", "/tmp/ostrand-bench-data", 1);
        // And presets (the program-change case saves some) to a documents
        // folder of its own.
        std::filesystem::create_directories("/tmp/ostrand-bench-config");
        std::ofstream("/tmp/ostrand-bench-config/user-dirs.dirs")
            << "XDG_DOCUMENTS_DIR=\"/tmp/ostrand-bench-documents\"\n";
        plugin = std::make_unique<OstrandPlugin>(2, 48000.0f);
        for (int i = 0; i < blockSize; ++i) {
            left[static_cast<std::size_t>(i)] = 0.3f * std::sin(0.05f * static_cast<float>(i));
            right[static_cast<std::size_t>(i)] = 0.3f * std::sin(0.031f * static_cast<float>(i));
        }
        play(200);
    }

    // Every parameter at a random value of its range: the heaviest preset
    // there can be, with every slot connected somewhere.
    void randomise(std::uint32_t seed)
    {
        std::uint32_t x = seed;
        for (int i = 0; i < plugin->getParameterCount(); ++i) {
            x = x * 1664525u + 1013904223u;
            AbstractPluginParameter& p = *plugin->getParameter(i);
            p.setValue(p.denormalize(static_cast<float>(x >> 8) / 16777216.0f), 0);
        }
    }

    void play(int blocks)
    {
        for (int b = 0; b < blocks; ++b)
            block();
    }

    // One host block; returns its time in seconds.
    double block()
    {
        const float* in[2] = {left.data(), right.data()};
        float* out[2] = {outL.data(), outR.data()};
        const double start = threadSeconds();
        plugin->process(in, 2, out, 2, blockSize);
        const double end = threadSeconds();
        benchmark::DoNotOptimize(outL.data());
        return end - start;
    }

    std::unique_ptr<OstrandPlugin> plugin;
    std::vector<float> left = std::vector<float>(blockSize), right = left, outL = left, outR = left;
};

// Times the block after change() in every iteration.
template <typename Change> void timeBlockAfter(benchmark::State& state, Rig& rig, Change&& change)
{
    double worst = 0.0;
    for (auto _ : state) {
        change();
        const double t = rig.block();
        worst = std::max(worst, t);
        state.SetIterationTime(t);
        // Let the glides of the change settle off the clock.
        rig.play(8);
    }
    state.counters["worst_us"] = worst * 1e6;
}

void BM_BlockWithoutChanges(benchmark::State& state)
{
    Rig rig;
    rig.randomise(1);
    rig.play(100);
    timeBlockAfter(state, rig, [] {});
}

// Two full states, alternately, through the state-load path presets, undo
// and A/B share.
void BM_BlockAfterStateLoad(benchmark::State& state)
{
    Rig rig;
    StateRecord records[2];
    for (int k = 0; k < 2; ++k) {
        rig.randomise(static_cast<std::uint32_t>(17 + k));
        rig.plugin->saveState(records[k]);
    }
    rig.play(10);
    int k = 0;
    timeBlockAfter(state, rig, [&] { rig.plugin->loadState(records[k++ & 1]); });
}

// A MIDI program change in the middle of the timed block: the audio thread
// switches every parameter to the preset's values (read ahead of time) at
// the event's sample and applies them there. Four presets with every
// parameter at a random value, in turn.
void BM_BlockWithProgramChange(benchmark::State& state)
{
    Rig rig;
    const std::string folder = PresetLibrary::shared().getPath();
    std::filesystem::create_directories(folder);
    for (int k = 0; k < 4; ++k) {
        rig.randomise(static_cast<std::uint32_t>(40 + k));
        // A preset that stops MIDI would stop the next program change.
        applyParameterAssignment(*rig.plugin, "Receive MIDI=Enabled");
        rig.plugin->savePreset(folder + "Bench " + std::to_string(k) + ".mvp");
    }
    rig.plugin->refreshPrograms();
    std::vector<const PresetItem*> programs;
    for (int k = 0; k < 4; ++k)
        programs.push_back(PresetLibrary::shared().presets().findByName("Bench " + std::to_string(k)));
    rig.play(10);
    int k = 0;
    timeBlockAfter(state, rig, [&] {
        const PresetItem& p = *programs[static_cast<std::size_t>(k++ & 3)];
        rig.plugin->queueMidiEvent(blockSize / 2, 0xB0, 0, p.bank >> 7);
        rig.plugin->queueMidiEvent(blockSize / 2, 0xB0, 32, p.bank & 0x7F);
        rig.plugin->queueMidiEvent(blockSize / 2, 0xC0, p.program, 0);
    });
    rig.plugin->deliverPendingNotifications();
    state.counters["switched"] = rig.plugin->getPresetState().getName().starts_with("Bench") ? 1.0 : 0.0;
}

// All 24 slots in use in reverse order, then sorted by the editor's sort.
void BM_BlockAfterSlotSort(benchmark::State& state)
{
    Rig rig;
    ModMatrixParamController& c = *rig.plugin->getParamController();
    rig.plugin->getSlotList()->getNumActiveParameter().setValue(24.0f, 0);
    StateRecord reversed;
    for (int s = 0; s < 24; ++s)
        c.connect(s, 25 - s, (s * 3) % 16, false, false, 0.3f);
    rig.plugin->saveState(reversed);
    timeBlockAfter(state, rig, [&] {
        rig.plugin->loadState(reversed);
        rig.play(8);
        c.sortSlots(24);
    });
}

// 4096 slot-target edits between two blocks.
void BM_BlockAfterSlotStorm(benchmark::State& state)
{
    Rig rig;
    ModMatrixParamController& c = *rig.plugin->getParamController();
    for (int s = 0; s < 24; ++s)
        c.connect(s, s, s % 16, false, false, 0.3f);
    int round = 0;
    timeBlockAfter(state, rig, [&] {
        for (int i = 0; i < 4096; ++i)
            c.setTarget(i % 24, (i + round) % 71);
        ++round;
    });
}

// The graph reset a host asks for when it bypasses the plug-in.
void BM_Reset(benchmark::State& state)
{
    Rig rig;
    rig.randomise(5);
    rig.play(20);
    double worst = 0.0;
    for (auto _ : state) {
        const double start = threadSeconds();
        rig.plugin->reset();
        const double t = threadSeconds() - start;
        worst = std::max(worst, t);
        state.SetIterationTime(t);
        rig.play(2);
    }
    state.counters["worst_us"] = worst * 1e6;
}

// A 1024-sample block carrying n control changes (the mod wheel, which
// every MIDI source reads) spread evenly over it.
void BM_BlockWithControllerEvents(benchmark::State& state)
{
    const int events = static_cast<int>(state.range(0));
    constexpr int length = 1024;
    Rig rig;
    applyParameterAssignment(*rig.plugin, "Num Active MIDIs=10");
    rig.plugin->applyQueuedChangesAtOnce();
    std::vector<float> in(length, 0.1f), outL(length), outR(length);
    const float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    int value = 0;
    for (auto _ : state) {
        for (int e = 0; e < events; ++e)
            rig.plugin->queueMidiEvent(e * length / events, 0xB0, 1, (value++) & 127);
        const double start = threadSeconds();
        rig.plugin->process(inputs, 2, outputs, 2, length);
        state.SetIterationTime(threadSeconds() - start);
    }
}

} // namespace

BENCHMARK(BM_BlockWithoutChanges)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlockAfterStateLoad)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlockWithProgramChange)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlockAfterSlotSort)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlockAfterSlotStorm)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reset)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BlockWithControllerEvents)->Arg(0)->Arg(64)->Arg(1024)->UseManualTime()->Unit(benchmark::kMicrosecond);
