// Both plug-ins of the module driven as a host and the editor drive them,
// in random order: ports in and beyond their ranges (NaN and infinity too),
// host blocks of 1 to 8192 samples in place or not, rates from 22050 to
// 192000, activations, sessions and states saved and restored, presets saved,
// loaded and refused when damaged, undo, redo and A/B, the bypass, the side
// chain connected or not, MIDI of every kind (program changes announced
// through the host's worker), time:Position with absurd fields, and inputs
// of silence, DC, noise, impulses, denormals and NaN/infinity bursts.
//
// In every case no run allocates; every output sample is finite (the inputs
// pass a guard, so not even the block with the bad samples may carry them
// on) unless the bypass may hand bad input through; and afterwards the
// instance still sounds: not silent in its own setting where a new instance
// told its controller positions sounds, and set back like a new instance
// (no reset) it plays what one plays.
// Each case is then played once more with every rest of the graph ended at
// each frame, so that every node runs: nodes that hand an input on while at
// rest must change nothing a listener could hear, bit for bit.
#include "AllocationCounter.h"
#include "Signals.h"
#include "TortureSupport.h"
#include "framework/CompareStates.h"
#include "framework/StateRecord.h"
#include "framework/UndoHistory.h"
#include "host/lv2/Lv2EffectGroup.h"
#include "host/lv2/Lv2PluginDescriptors.h"
#include "host/lv2/Lv2PluginGroup.h"
#include "modulation/MidiModSource.h"
#include "persistence/PresetLibrary.h"
#include "wave/Producer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>

using namespace torture;

namespace {

// Ends the graph's rests at the start of every frame.
struct RestEnder : wave::Producer {
    explicit RestEnder(wave::Graph& g) : wave::Producer(g, NoOwnBlock) { g.insert(*this); }
    ~RestEnder() override { getGraph().remove(*this); }
    int process(wave::Block&, int n, int) override
    {
        getGraph().endRests();
        return n;
    }
};

class TortureCase {
public:
    // Every case starts from the same process state: its own random numbers
    // and a preset folder without the files cases write.
    TortureCase(lv2test::Host& h, const Lv2PluginDescriptors& d, std::uint32_t s, bool restless = false)
        : seed(startAfresh(s)), random(s), type(random.integer(0, 1)),
          rate(random.sampleRate()), host(h), descriptors(d), instance(make()),
          plugin(static_cast<OstrandPlugin&>(instance->adapter().getPlugin())), bypassable(random.chance(0.5)),
          restEnder(restless ? std::make_unique<RestEnder>(plugin.getGraph()) : nullptr)
    {
        note(std::string(descriptors.get(type)->URI) + " at " + std::to_string(rate));
        randomPorts(true);
    }

    // A second and a half of random steps, then the checks (a case played
    // without rests only plays).
    void run()
    {
        for (std::int64_t played = 0; played < static_cast<std::int64_t>(rate * 1.5) && !testing::Test::HasFatalFailure();)
            played += step();
        // On, and every port, event and program change taken.
        instance->enabled = 1.0f;
        instance->run(1);
        work();
        if (restEnder)
            return;

        // The case's own setting in a new instance (past its first run, which
        // applies the ports), its MIDI sources told where the case left every
        // input (no state moves a mod wheel): where that sounds, this is not silent.
        StateRecord setting;
        plugin.saveState(setting);
        plugin.loadState(setting);
        auto own = make();
        own->run(1);
        auto& ownPlugin = static_cast<OstrandPlugin&>(own->adapter().getPlugin());
        ownPlugin.loadState(setting);
        ownPlugin.applyQueuedChangesAtOnce();
        for (int m = 0; m < OstrandPlugin::numMidiSources; ++m) {
            const auto last = [&](int entry) { return plugin.getMidiSource(m).getStoredValue(entry); };
            MidiModSource& s = ownPlugin.getMidiSource(m);
            for (int c = 0; c < 128; ++c)
                s.controlChange(c, 0, last(c));
            s.modWheel(last(MidiModSource::modWheelEntry));
            s.pitchBend(last(MidiModSource::pitchBendEntry) / 2.0f);
            s.channelPressure(last(MidiModSource::aftertouchEntry));
            s.noteOn(48 + static_cast<int>(std::lround(last(MidiModSource::keyEntry) * 120.0f)),
                     (last(MidiModSource::velocityEntry) + 1.0f) / 2.0f);
        }
        const auto [worstOwn, tortured, ownLevel] = compareWith(*own);
        EXPECT_TRUE(ownLevel <= 1e-3 || tortured > ownLevel / 30.0) << tortured << " " << ownLevel << context();

        // Back to a new instance's setting without a reset: it plays what a
        // new instance plays, and that is not silence.
        auto fresh = make();
        StateRecord start;
        fresh->adapter().getPlugin().saveState(start);
        plugin.loadState(start);
        const auto [worst, level, freshLevel] = compareWith(*fresh);
        EXPECT_TRUE(worst < 1e-3 && freshLevel > 0.01) << worst << " " << freshLevel << context();
    }

    // Every output sample the host was handed, block after block.
    std::vector<float> heard;
    std::vector<std::size_t> blockStarts;
    std::size_t allocations = 0;

private:
    static std::uint32_t startAfresh(std::uint32_t seed)
    {
        std::srand(seed); // the step LFOs' random steps
        PresetLibrary& library = PresetLibrary::shared();
        for (int k = 0; k < 4; ++k)
            std::filesystem::remove(library.getPath() + "Torture " + std::to_string(k) + ".mvp");
        std::filesystem::remove(library.getPath() + "Damaged.mvp");
        library.setPath(library.getPath());
        return seed;
    }

    std::unique_ptr<Hosted> make() const
    {
        auto h = std::make_unique<Hosted>(*descriptors.get(type), effectPluginGroup().getTypes()[type].ports, rate, host);
        if (!h->ok())
            throw std::runtime_error("cannot instantiate");
        return h;
    }

    // The last steps, for a failure's message, with the way to run the case alone.
    void note(const std::string& what)
    {
        if (steps.size() == 24)
            steps.pop_front();
        steps.push_back(what + " (after " + std::to_string(blockStarts.size()) + " blocks)");
    }
    std::string context() const
    {
        std::string s = "\n  case " + std::to_string(seed) + " (OSTRAND_TORTURE_SEED=" + std::to_string(seed) +
                        " OSTRAND_TORTURE_CASES=1); last steps:";
        for (const std::string& step : steps)
            s += "\n    " + step;
        return s;
    }

    // The same noise through this instance and another in the same random
    // blocks, channel 0 measured over the last quarter, when every glide
    // (the delay lines' 5 Hz smoothers take about a second from 50 ms) has
    // run its course: the largest difference and the two levels.
    std::tuple<double, double, double> compareWith(Hosted& other)
    {
        instance->events.midi(0, 0x90, 0, 0); // no note held any more
        const auto length = static_cast<std::size_t>(rate * 1.6);
        const testsignals::Signal probe = testsignals::noise(static_cast<int>(length), seed + 1, 0.25);
        testsignals::Signal y[2] = {testsignals::Signal(length), testsignals::Signal(length)};
        for (int which = 0; which < 2; ++which) {
            Hosted& h = which == 0 ? *instance : other;
            Random cuts(seed + 77);
            for (std::size_t done = 0; done < length;) {
                const auto n = std::min(static_cast<std::size_t>(cuts.blockLength()), length - done);
                for (int p = 0; p < h.ports.eventsPort(); ++p) {
                    if (h.isInput(p))
                        std::copy_n(probe.data() + done, n, h.audio(p).data());
                    h.connect(p, h.audio(p).data());
                }
                h.run(static_cast<int>(n));
                std::copy_n(h.audio(h.ports.firstOutput()).data(), n, y[which].data() + done);
                done += n;
            }
        }
        EXPECT_TRUE(allFinite(y[0].data(), static_cast<int>(length))) << context();
        const std::size_t tail = length * 3 / 4;
        return {testsignals::maxDifference(y[0], y[1], tail), testsignals::rms(y[0], tail),
                testsignals::rms(y[1], tail)};
    }

    // One step of what hosts and the editor do; returns the samples played.
    int step()
    {
        const double x = random.uniform();
        int played = 0;
        if (x < 0.5) {
            for (int k = random.integer(1, 4); k > 0; --k)
                played += block();
        } else if (x < 0.62) {
            randomPorts(false);
        } else if (x < 0.65) {
            static const std::vector<float> states = {0.0f, 1.0f, 0.0f, 1.0f, 0.5f, std::nanf(""), 2.0f};
            if (bypassable) {
                note("bypass");
                instance->enabled = random.pick(states);
            }
        } else if (x < 0.68) {
            note("activated again");
            if (random.chance(0.5))
                randomPorts(false);
            instance->descriptor.activate(instance->handle);
        } else if (x < 0.74) {
            session();
        } else if (x < 0.83) {
            edit();
        } else if (x < 0.94) {
            midi();
        } else {
            note("time:Position");
            static const std::vector<double> odd = {std::nan(""), 0.0, -1.0, 1.0e9, -1.0e9, 1.0e300, 0.5};
            auto field = [&](double lo, double hi) { return random.chance(0.3) ? random.pick(odd) : random.uniform(lo, hi); };
            instance->events.position(random.integer(0, 4000), field(20.0, 300.0), field(0.0, 1.0),
                                      std::floor(field(0.0, 100.0)), field(0.0, 4.0), field(1.0, 12.0),
                                      std::pow(2.0, random.integer(0, 4)));
        }
        return played;
    }

    // The host's worker, quick enough to answer before the next run.
    void work()
    {
        for (int k = host.takeWorkRequests(); k > 0; --k)
            instance->extension<LV2_Worker_Interface>(LV2_WORKER__interface)->work(instance->handle, nullptr, nullptr, 1, "");
    }

    int block()
    {
        Hosted& h = *instance;
        const int n = random.blockLength();
        const Input mainKind = randomInput(random), sideKind = random.chance(0.5) ? mainKind : randomInput(random);
        const bool sideChain = random.chance(0.7), inPlace = random.chance(0.3);
        for (int p = 0; p < h.ports.eventsPort(); ++p) {
            const bool side = p >= h.ports.firstSideChain();
            if (h.isInput(p)) {
                fill(random, side ? sideKind : mainKind, h.audio(p).data(), n, phase[p],
                     2.0 * 3.14159 * (side ? 97.0 : 220.0) / rate);
            }
            // In place: each output on its channel's input, as many hosts run.
            const int channel = p - h.ports.firstOutput();
            h.connect(p, side && !sideChain              ? nullptr
                         : !h.isInput(p) && inPlace ? h.audio(channel).data()
                                                    : h.audio(p).data());
        }
        {
            testsupport::AllocationScope scope;
            h.descriptor.run(h.handle, static_cast<std::uint32_t>(n));
            allocations += scope.count();
        }
        h.events.clear();
        work();
        blockStarts.push_back(heard.size());
        for (int c = 0; c < h.ports.outputs; ++c) {
            const float* out = h.audio(inPlace ? c : h.ports.firstOutput() + c).data();
            heard.insert(heard.end(), out, out + n);
            if (!allFinite(out, n))
                ADD_FAILURE() << "output not finite in a block of " << n << " (" << name(mainKind) << ", side "
                              << name(sideKind) << ")" << context();
        }
        return n;
    }

    // Control ports as a host may leave them: in range mostly, now and then
    // beyond it, NaN or infinite.
    void randomPorts(bool all)
    {
        std::vector<float>& ports = instance->controls;
        const int count = all ? static_cast<int>(ports.size()) : random.integer(1, 30);
        note(std::to_string(count) + " ports written");
        static const std::vector<float> odd = {std::nanf(""), std::numeric_limits<float>::infinity(),
                                               -std::numeric_limits<float>::infinity(), 1e30f};
        for (int k = 0; k < count; ++k) {
            const int i = all ? k : random.integer(0, static_cast<int>(ports.size()) - 1);
            const AbstractPluginParameter& p = *plugin.getParameter(i);
            float& port = ports[static_cast<std::size_t>(i)];
            port = randomValue(random, p);
            if (random.chance(0.1))
                port = random.chance(0.3) ? (random.chance(0.5) ? p.getMin() - 1000.0f : p.getMax() + 1000.0f)
                                          : random.pick(odd);
        }
    }

    // The host saves a session (the ports and the plug-in's keys) and the
    // editor the effect's state, or one saved earlier comes back.
    void session()
    {
        const auto* state = instance->extension<LV2_State_Interface>(LV2_STATE__interface);
        if (saved.empty() || random.chance(0.5)) {
            note("session saved");
            Saved& s = saved.emplace_back();
            s.ports = instance->controls;
            EXPECT_TRUE(s.keys.save(*state, instance->handle));
            plugin.saveState(s.state);
            return;
        }
        note("session restored");
        const Saved& s = saved[static_cast<std::size_t>(random.integer(0, static_cast<int>(saved.size()) - 1))];
        plugin.loadState(s.state);
        instance->controls = s.ports;
        s.keys.restore(*state, instance->handle);
    }

    // What the editor does between two runs.
    void edit()
    {
        const std::string folder = PresetLibrary::shared().getPath();
        const std::string mine = folder + "Torture " + std::to_string(seed % 4) + ".mvp";
        GenericPlugin::UndoHistory& undo = *plugin.getUndoHistory();
        GenericPlugin::CompareStates& ab = *plugin.getCompareStates();
        static const char* const actions[] = {"parameters moved", "preset saved", "preset loaded", "damaged preset refused",
                                              "undo point", "undo", "redo", "A/B"};
        const int action = random.integer(0, 7);
        note(actions[action]);
        std::filesystem::create_directories(folder);
        const std::string damaged = folder + "Damaged.mvp";
        std::ofstream(damaged, std::ios::binary) << std::string("MO2l\2\0\0\0\x9a\2\0\0", 12) << "garbage";
        switch (action) {
        case 0: randomizeParameters(plugin, random, random.chance(0.3) ? GenericPlugin::changeFromHost : 0); break;
        case 1: plugin.savePreset(mine); break;
        case 2: plugin.loadPreset(mine); break; // may not exist yet: refused, nothing changes
        case 3: EXPECT_FALSE(plugin.loadPreset(damaged)) << context(); break;
        case 4: undo.push("edit"); break;
        case 5: undo.undo(); break;
        case 6: undo.redo(); break;
        default: ab.isInitialized() ? ab.toggle() : ab.initialize();
        }
    }

    // Channel messages of every kind (program changes and the controllers
    // with a meaning of their own among them), system messages and bytes
    // beyond 127.
    void midi()
    {
        note("MIDI");
        static const std::vector<int> statuses = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0xF8};
        static const std::vector<int> controllers = {0, 1, 32, 120, 121, 123, 127};
        std::int64_t frame = 0;
        for (int k = random.integer(1, 30); k > 0; --k) {
            frame += random.integer(0, 600);
            const int status = random.pick(statuses);
            const int data1 = status == 0xB0 && random.chance(0.3) ? random.pick(controllers) : random.integer(0, 255);
            instance->events.midi(frame, static_cast<std::uint8_t>(status | (status < 0xF0 ? random.integer(0, 15) : 0)),
                                  static_cast<std::uint8_t>(data1), static_cast<std::uint8_t>(random.integer(0, 255)));
        }
    }

    // What a host keeps of a session, and the effect's own state beside it.
    struct Saved {
        std::vector<float> ports;
        lv2test::StateStore keys;
        StateRecord state;
    };

    std::uint32_t seed;
    Random random;
    std::uint32_t type;
    double rate;
    lv2test::Host& host;
    const Lv2PluginDescriptors& descriptors;
    std::unique_ptr<Hosted> instance;
    OstrandPlugin& plugin;
    bool bypassable; // else the bypass stays on "enabled" all case long
    std::deque<Saved> saved;
    std::deque<std::string> steps;
    double phase[6] = {};
    std::unique_ptr<RestEnder> restEnder;
};

} // namespace

TEST(Torture, BothPluginsSurviveWhateverAHostAndTheEditorDoAndStillSound)
{
    const Cases c = cases(10, 500);
    const Lv2PluginDescriptors descriptors(effectPluginGroup());
    lv2test::Host host(Hosted::maxBlock);
    for (std::uint32_t seed = c.firstSeed; seed < c.firstSeed + static_cast<std::uint32_t>(c.count); ++seed) {
        TortureCase run(host, descriptors, seed);
        run.run();
        if (testsupport::allocationCountingAvailable()) {
            EXPECT_EQ(run.allocations, 0u) << "case " << seed;
        }
        TortureCase restless(host, descriptors, seed, true);
        restless.run();
        const auto differs = std::mismatch(run.heard.begin(), run.heard.end(), restless.heard.begin(), restless.heard.end(),
                                           [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; });
        if (differs.first != run.heard.end() || differs.second != restless.heard.end()) {
            const auto at = static_cast<std::size_t>(differs.first - run.heard.begin());
            ADD_FAILURE() << "case " << seed << " sounds otherwise with every rest ended: from block "
                          << std::upper_bound(run.blockStarts.begin(), run.blockStarts.end(), at) - run.blockStarts.begin()
                          << " of " << run.blockStarts.size() << " (OSTRAND_TORTURE_SEED=" << seed << " OSTRAND_TORTURE_CASES=1)";
        }
        if (testing::Test::HasFatalFailure())
            break;
    }
    RecordProperty("cases", c.count);
}
