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
#include <sstream>

using namespace torture;

namespace {

constexpr int maxBlock = 8192;

// The longest stretch of audio a case plays before its final checks.
constexpr std::int64_t caseSeconds = 2;

std::string presetPath(const std::string& name)
{
    const std::string folder = PresetLibrary::shared().getPath();
    std::filesystem::create_directories(folder);
    return folder + name;
}

class EngineCase {
public:
    explicit EngineCase(std::uint32_t s)
        : seed(s), random(s), rate(random.sampleRate()), channels(random.chance(0.25) ? 1 : 2),
          plugin(std::make_unique<OstrandPlugin>(channels, static_cast<float>(rate)))
    {
        for (int c = 0; c < channels; ++c) {
            in.emplace_back(maxBlock);
            side.emplace_back(maxBlock);
            out.emplace_back(maxBlock);
        }
        note("rate " + std::to_string(rate) + ", " + std::to_string(channels) + " channel(s)");
        randomizeParameters(*plugin, random);
        plugin->applyQueuedChangesAtOnce();
    }

    void play()
    {
        const std::int64_t budget = static_cast<std::int64_t>(rate) * caseSeconds;
        while (played < budget && !testing::Test::HasFatalFailure())
            step();
    }

    // Back to what a new instance starts with, without a reset: it must
    // then sound as a new instance does.
    void checkSoundsLikeNew()
    {
        OstrandPlugin fresh(channels, static_cast<float>(rate));
        StateRecord start;
        fresh.saveState(start);
        plugin->queueMidiEvent(0, 0x90, 0, 0); // note 0: no note held any more
        plugin->loadState(start);
        // Without a reset the glides run their course first: the delay
        // lines' 5 Hz smoothers take about a second to settle from 50 ms.
        const std::vector<float> probe = noiseProbe(static_cast<int>(rate * 1.6));
        const std::vector<float> a = playProbe(*plugin, probe);
        const std::vector<float> b = playProbe(fresh, probe);
        const std::size_t tail = probe.size() * 3 / 4;
        double worst = 0.0;
        for (std::size_t i = tail; i < probe.size(); ++i)
            worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - static_cast<double>(b[i])));
        EXPECT_LT(worst, 1e-3) << context();
        EXPECT_GT(rms(b, tail, b.size()), 0.01) << context();
    }

    // The case's own last setting in a new instance: where that sounds,
    // the tortured instance must not be silent.
    void checkNotSilenced(const StateRecord& setting)
    {
        OstrandPlugin fresh(channels, static_cast<float>(rate));
        fresh.loadState(setting);
        fresh.applyQueuedChangesAtOnce();
        plugin->queueMidiEvent(0, 0x90, 0, 0);
        plugin->loadState(setting);
        const std::vector<float> probe = noiseProbe(static_cast<int>(rate));
        const std::vector<float> a = playProbe(*plugin, probe);
        const std::vector<float> b = playProbe(fresh, probe);
        const std::size_t half = probe.size() / 2;
        const double expected = rms(b, half, b.size());
        if (expected > 1e-3) {
            EXPECT_GT(rms(a, half, a.size()), expected / 30.0) << "expected level " << expected << context();
        }
    }

    void saveSetting(StateRecord& into) const { plugin->saveState(into); }

    std::size_t getAllocations() const { return allocations; }
    std::int64_t getBlocks() const { return blocks; }

private:
    void step()
    {
        const double x = random.uniform();
        if (x < 0.55) {
            for (int k = random.integer(1, 4); k > 0; --k)
                block();
        } else if (x < 0.67) {
            moveParameters();
        } else if (x < 0.69) {
            note("new random state");
            randomizeParameters(*plugin, random);
        } else if (x < 0.73) {
            note("reset");
            plugin->reset();
        } else if (x < 0.76) {
            note("activate");
            plugin->applyQueuedChangesAtOnce();
        } else if (x < 0.79) {
            note("state saved");
            saved.emplace_back();
            plugin->saveState(saved.back());
        } else if (x < 0.82) {
            if (!saved.empty()) {
                note("state restored");
                plugin->loadState(saved[static_cast<std::size_t>(random.integer(0, static_cast<int>(saved.size()) - 1))]);
            }
        } else if (x < 0.84) {
            presets();
        } else if (x < 0.87) {
            history();
        } else if (x < 0.96) {
            midi();
        } else {
            transport();
        }
    }

    void block()
    {
        const int n = random.blockLength();
        const Input mainKind = randomInput(random);
        const Input sideKind = random.chance(0.5) ? mainKind : randomInput(random);
        const bool sideChain = random.chance(0.7);
        for (int c = 0; c < channels; ++c) {
            fill(random, mainKind, in[static_cast<std::size_t>(c)].data(), n, phase[c], 2.0 * 3.14159 * 220.0 / rate);
            fill(random, sideKind, side[static_cast<std::size_t>(c)].data(), n, sidePhase[c],
                 2.0 * 3.14159 * 97.0 / rate);
        }
        const float* inputs[4] = {};
        float* outputs[2] = {};
        for (int c = 0; c < channels; ++c) {
            inputs[c] = in[static_cast<std::size_t>(c)].data();
            inputs[channels + c] = side[static_cast<std::size_t>(c)].data();
            outputs[c] = out[static_cast<std::size_t>(c)].data();
        }
        plugin->setSideChainPresent(sideChain);
        {
            testsupport::AllocationScope scope;
            plugin->process(inputs, sideChain ? 2 * channels : channels, outputs, channels, n);
            allocations += scope.count();
        }
        ++blocks;
        played += n;
        for (int c = 0; c < channels; ++c)
            if (!allFinite(outputs[c], n)) {
                ADD_FAILURE() << "output not finite in a block of " << n << " (" << name(mainKind) << ", side "
                              << name(sideKind) << ")" << context();
                return;
            }
    }

    void moveParameters()
    {
        const int count = random.integer(1, 30);
        // A host's automation, or the editor.
        const int flag = random.chance(0.5) ? GenericPlugin::changeFromHost : 0;
        note(std::to_string(count) + " parameters moved");
        for (int k = 0; k < count; ++k) {
            AbstractPluginParameter& p = *plugin->getParameter(random.integer(0, plugin->getParameterCount() - 1));
            p.setValue(randomValue(random, p), flag);
        }
    }

    void presets()
    {
        const double x = random.uniform();
        const std::string mine = presetPath("Torture " + std::to_string(seed % 4) + ".mvp");
        if (x < 0.3) {
            note("preset saved");
            plugin->savePreset(mine);
        } else if (x < 0.7) {
            note("preset loaded");
            plugin->loadPreset(mine); // may not exist yet: refused, nothing changes
        } else if (x < 0.85) {
            // A damaged file: refused (whatever it held before the damage
            // stays applied, as after any read that ends early).
            const std::string damaged = presetPath("Damaged.mvp");
            std::ofstream(damaged, std::ios::binary) << std::string("MO2l\2\0\0\0\x9a\2\0\0", 12) << "garbage";
            note("damaged preset refused");
            EXPECT_FALSE(plugin->loadPreset(damaged)) << context();
        } else {
            note("program change");
            plugin->queueMidiEvent(random.integer(0, 64), 0xC0, random.integer(0, 20), 0);
        }
    }

    void history()
    {
        GenericPlugin::UndoHistory& undo = *plugin->getUndoHistory();
        const double x = random.uniform();
        if (x < 0.4) {
            note("undo point");
            undo.push("edit");
        } else if (x < 0.7) {
            note("undo");
            undo.undo();
        } else if (x < 0.85) {
            note("redo");
            undo.redo();
        } else {
            note("A/B");
            GenericPlugin::CompareStates& ab = *plugin->getCompareStates();
            if (!ab.isInitialized())
                ab.initialize();
            ab.toggle();
        }
    }

    void midi()
    {
        note("MIDI");
        for (int k = random.integer(1, 40); k > 0; --k) {
            // Offsets beyond the next block wait for the block's end.
            const int offset = random.integer(0, 9000);
            const int channel = random.integer(0, 15);
            const int kind = random.integer(0, 6);
            static const int statuses[] = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
            int data1 = random.integer(0, 127);
            if (statuses[kind] == 0xB0 && random.chance(0.3))
                data1 = random.pick(std::vector<int>{0, 1, 32, 120, 121, 123, 127});
            plugin->queueMidiEvent(offset, statuses[kind] | channel, data1, random.integer(0, 127));
        }
        // The host's worker or idle call loads a preset a program change
        // asked for.
        if (plugin->hasPendingProgramChange() && random.chance(0.5)) {
            note("program loaded");
            plugin->handlePendingProgramChange();
        }
    }

    void transport()
    {
        static const std::vector<double> tempos = {0.0, -120.0, 1.0, 60.0, 120.0, 174.0, 300.0, 999.0, 1.0e6,
                                                   std::nan("")};
        static const std::vector<double> positions = {0.0, -4.0, 1.5, 1.0e3, 1.0e7, 1.0e15, std::nan("")};
        const double tempo = random.pick(tempos);
        const double position = random.chance(0.5) ? random.uniform(0.0, 500.0) : random.pick(positions);
        note("transport " + std::to_string(tempo) + " BPM at " + std::to_string(position));
        plugin->setTransport(tempo, position);
    }

    std::vector<float> noiseProbe(int n)
    {
        std::vector<float> s(static_cast<std::size_t>(n));
        for (float& v : s)
            v = static_cast<float>(random.uniform(-0.25, 0.25));
        return s;
    }

    // Plays the probe on every channel (and as side chain) in random blocks;
    // returns channel 0.
    std::vector<float> playProbe(OstrandPlugin& p, const std::vector<float>& probe)
    {
        std::vector<float> left(probe.size()), right(probe.size());
        Random blocksOf(seed + 77);
        for (std::size_t done = 0; done < probe.size();) {
            const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(blocksOf.blockLength()),
                                                                 probe.size() - done));
            const float* inputs[4] = {probe.data() + done, probe.data() + done, probe.data() + done,
                                      probe.data() + done};
            float* outputs[2] = {left.data() + done, right.data() + done};
            p.setSideChainPresent(true);
            p.process(inputs, 2 * channels, outputs, channels, n);
            for (int c = 0; c < channels; ++c)
                EXPECT_TRUE(allFinite(outputs[c], n)) << context();
            done += static_cast<std::size_t>(n);
        }
        return left;
    }

    void note(const std::string& what)
    {
        if (history_.size() == 24)
            history_.erase(history_.begin());
        history_.push_back(what + " (after " + std::to_string(blocks) + " blocks)");
    }

    std::string context() const
    {
        std::ostringstream s;
        s << "\n  case " << seed << " (OSTRAND_TORTURE_SEED=" << seed << " OSTRAND_TORTURE_CASES=1); last steps:";
        for (const std::string& h : history_)
            s << "\n    " << h;
        return s.str();
    }

    std::uint32_t seed;
    Random random;
    double rate;
    int channels;
    std::unique_ptr<OstrandPlugin> plugin;
    std::vector<std::vector<float>> in, side, out;
    double phase[2] = {0.0, 1.0};
    double sidePhase[2] = {0.0, 2.0};
    std::deque<StateRecord> saved;
    std::vector<std::string> history_;
    std::size_t allocations = 0;
    std::int64_t blocks = 0;
    std::int64_t played = 0;
};

} // namespace

TEST(EngineTorture, SurvivesWhateverAHostDoesAndStillSounds)
{
    const Cases c = cases(6, 400);
    std::int64_t blocks = 0;
    for (std::uint32_t seed = c.firstSeed; seed < c.firstSeed + static_cast<std::uint32_t>(c.count); ++seed) {
        EngineCase run(seed);
        run.play();
        StateRecord setting;
        run.saveSetting(setting);
        run.checkNotSilenced(setting);
        run.checkSoundsLikeNew();
        if (testsupport::allocationCountingAvailable()) {
            EXPECT_EQ(run.getAllocations(), 0u) << "case " << seed;
        }
        blocks += run.getBlocks();
        if (HasFatalFailure())
            return;
    }
    RecordProperty("cases", c.count);
    RecordProperty("blocks", static_cast<int>(blocks));
}
