// The effect driven directly, as any host drives it, with everything a host
// may do in any order: parameter states with the ends of every range, host
// blocks of 1 to 8192 samples, rates from 22050 to 192000, resets (bypass),
// activations, states saved and restored mid-stream, presets loaded and
// saved while playing, undo and A/B, MIDI of every kind, absurd transport,
// and inputs of silence, DC, full-scale noise, impulses, denormals and
// NaN/infinity bursts in the main and the side-chain input.
//
// What must hold in every case: no block allocates, every output sample is
// finite (the inputs pass a guard, so not even the block holding the bad
// samples may carry them on), and after all of it the instance still
// sounds: brought back to a new instance's setting it plays what a new
// instance plays, and in its own random setting it is not silent where a
// new instance with that setting is not.
#include "AllocationCounter.h"
#include "TortureSupport.h"
#include "effect/OstrandPlugin.h"
#include "framework/CompareStates.h"
#include "framework/StateRecord.h"
#include "framework/UndoHistory.h"
#include "persistence/PresetLibrary.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>

using namespace torture;

namespace {

std::string presetPath(const std::string& name)
{
    const std::string folder = PresetLibrary::shared().getPath();
    std::filesystem::create_directories(folder);
    return folder + name;
}

class EngineCase {
public:
    explicit EngineCase(std::uint32_t s)
        : log(s), seed(s), random(s), rate(random.sampleRate()), channels(random.chance(0.25) ? 1 : 2),
          plugin(std::make_unique<OstrandPlugin>(channels, static_cast<float>(rate)))
    {
        log.note("rate " + std::to_string(rate) + ", " + std::to_string(channels) + " channel(s)");
        randomizeParameters(*plugin, random);
        plugin->applyQueuedChangesAtOnce();
    }

    // Two seconds of random steps, then the checks.
    void run()
    {
        for (std::int64_t played = 0; played < 2 * static_cast<std::int64_t>(rate) && !testing::Test::HasFatalFailure();)
            played += step();
        StateRecord setting;
        plugin->saveState(setting);
        OstrandPlugin own(channels, static_cast<float>(rate));
        own.loadState(setting);
        own.applyQueuedChangesAtOnce();
        plugin->loadState(setting);
        EXPECT_TRUE(notSilenced(compareWith(own))) << log.context();

        // Back to a new instance's setting without a reset: it plays as a
        // new instance does.
        OstrandPlugin fresh(channels, static_cast<float>(rate));
        StateRecord start;
        fresh.saveState(start);
        plugin->loadState(start);
        expectPlaysAsNew(compareWith(fresh), log);
    }

    CaseLog log;

private:
    Comparison compareWith(OstrandPlugin& other)
    {
        plugin->queueMidiEvent(0, 0x90, 0, 0); // note 0: no note held any more
        const Comparison c = compare(random, rate, seed + 77, [&](int which, const float* x, float* y, int n) {
            OstrandPlugin& p = which == 0 ? *plugin : other;
            const float* inputs[4] = {x, x, x, x};
            float* outputs[2] = {y, input.main[1].data()};
            p.setSideChainPresent(true);
            p.process(inputs, 2 * channels, outputs, channels, n);
        });
        EXPECT_TRUE(c.finite) << log.context();
        return c;
    }

    // One step of what hosts do; returns the samples it played.
    int step()
    {
        const double x = random.uniform();
        if (x < 0.55)
            return playSomeBlocks(random, [this] { return block(); });
        if (x < 0.67) {
            // A host's automation, or the editor.
            const int flag = random.chance(0.5) ? GenericPlugin::changeFromHost : 0;
            const int count = random.integer(1, 30);
            log.note(std::to_string(count) + " parameters moved");
            for (int k = 0; k < count; ++k) {
                AbstractPluginParameter& p = *plugin->getParameter(random.integer(0, plugin->getParameterCount() - 1));
                p.setValue(randomValue(random, p), flag);
            }
        } else if (x < 0.69) {
            log.note("new random state");
            randomizeParameters(*plugin, random);
        } else if (x < 0.73) {
            log.note("reset");
            plugin->reset();
        } else if (x < 0.76) {
            log.note("activate");
            plugin->applyQueuedChangesAtOnce();
        } else if (x < 0.79) {
            log.note("state saved");
            plugin->saveState(saved.emplace_back());
        } else if (x < 0.82) {
            if (!saved.empty()) {
                log.note("state restored");
                plugin->loadState(saved[static_cast<std::size_t>(random.integer(0, static_cast<int>(saved.size()) - 1))]);
            }
        } else if (x < 0.84) {
            presets();
        } else if (x < 0.87) {
            history();
        } else if (x < 0.96) {
            midi();
        } else {
            static const std::vector<double> tempos = {0.0, -120.0, 1.0, 60.0, 120.0, 174.0, 300.0, 999.0, 1.0e6,
                                                       std::nan("")};
            static const std::vector<double> positions = {0.0, -4.0, 1.5, 1.0e3, 1.0e7, 1.0e15, std::nan("")};
            const double tempo = random.pick(tempos);
            const double position = random.chance(0.5) ? random.uniform(0.0, 500.0) : random.pick(positions);
            log.note("transport " + std::to_string(tempo) + " BPM at " + std::to_string(position));
            plugin->setTransport(tempo, position);
        }
        return 0;
    }

    int block()
    {
        input.draw(random, rate, channels);
        const float* inputs[4] = {};
        float* outputs[2] = {};
        for (int c = 0; c < channels; ++c) {
            inputs[c] = input.main[c].data();
            inputs[channels + c] = input.side[c].data();
            outputs[c] = out[c].data();
        }
        plugin->setSideChainPresent(input.sideChain);
        {
            testsupport::AllocationScope scope;
            plugin->process(inputs, input.sideChain ? 2 * channels : channels, outputs, channels, input.n);
            log.allocations += scope.count();
        }
        ++log.blocks;
        for (int c = 0; c < channels; ++c)
            if (!allFinite(outputs[c], input.n))
                ADD_FAILURE() << "output not finite in " << input.describe() << log.context();
        return input.n;
    }

    void presets()
    {
        const double x = random.uniform();
        const std::string mine = presetPath("Torture " + std::to_string(seed % 4) + ".mvp");
        if (x < 0.3) {
            log.note("preset saved");
            plugin->savePreset(mine);
        } else if (x < 0.7) {
            log.note("preset loaded");
            plugin->loadPreset(mine); // may not exist yet: refused, nothing changes
        } else if (x < 0.85) {
            // A damaged file: refused, and nothing it held is applied.
            const std::string damaged = presetPath("Damaged.mvp");
            std::ofstream(damaged, std::ios::binary) << std::string("MO2l\2\0\0\0\x9a\2\0\0", 12) << "garbage";
            log.note("damaged preset refused");
            EXPECT_FALSE(plugin->loadPreset(damaged)) << log.context();
        } else {
            log.note("program change");
            plugin->queueMidiEvent(random.integer(0, 64), 0xC0, random.integer(0, 20), 0);
        }
    }

    void history()
    {
        GenericPlugin::UndoHistory& undo = *plugin->getUndoHistory();
        const double x = random.uniform();
        if (x < 0.4) {
            log.note("undo point");
            undo.push("edit");
        } else if (x < 0.7) {
            log.note("undo");
            undo.undo();
        } else if (x < 0.85) {
            log.note("redo");
            undo.redo();
        } else {
            log.note("A/B");
            GenericPlugin::CompareStates& ab = *plugin->getCompareStates();
            if (!ab.isInitialized())
                ab.initialize();
            ab.toggle();
        }
    }

    void midi()
    {
        log.note("MIDI");
        static const int statuses[] = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
        for (int k = random.integer(1, 40); k > 0; --k) {
            // Offsets beyond the next block wait for the block's end.
            const int offset = random.integer(0, 9000);
            const int status = statuses[random.integer(0, 6)];
            int data1 = random.integer(0, 127);
            if (status == 0xB0 && random.chance(0.3))
                data1 = random.pick(std::vector<int>{0, 1, 32, 120, 121, 123, 127});
            plugin->queueMidiEvent(offset, status | random.integer(0, 15), data1, random.integer(0, 127));
        }
        // The host's worker or idle call announces a program change.
        if (plugin->needsControlThread() && random.chance(0.5)) {
            log.note("program announced");
            plugin->serviceControlThread();
        }
    }

    std::uint32_t seed;
    Random random;
    double rate;
    int channels;
    std::unique_ptr<OstrandPlugin> plugin;
    HostInput input;
    std::vector<float> out[2] = {std::vector<float>(HostInput::maxBlock), std::vector<float>(HostInput::maxBlock)};
    std::deque<StateRecord> saved;
};

} // namespace

TEST(EngineTorture, SurvivesWhateverAHostDoesAndStillSounds)
{
    const Cases c = cases(6, 400);
    const std::int64_t blocks = runCases(c, [](std::uint32_t seed) { return std::make_unique<EngineCase>(seed); });
    RecordProperty("cases", c.count);
    RecordProperty("blocks", static_cast<int>(blocks));
}
