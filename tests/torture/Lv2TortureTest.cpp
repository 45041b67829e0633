// Both LV2 plug-ins of the bundle in a lilv host that does everything a
// host may do, in random order: control ports anywhere in and beyond their
// ranges (NaN and infinity too), host blocks of 1 to 8192 samples at rates
// from 22050 to 192000, deactivation and activation, the state saved and
// restored mid-stream, the bypass switched at random, the side chain
// connected and disconnected, MIDI (program changes load presets through
// the host's worker) and time:Position objects with absurd fields, over
// inputs of silence, DC, full-scale noise, impulses, denormals and bursts
// of NaN and infinity.
//
// What must hold: run never allocates; every output block whose input was
// finite is finite (the bypass hands the input through as it is, so bad
// input may come out while it fades or is off); and afterwards the instance
// plays like a new one when set like one, and is not silent in its own
// setting where a new instance in that setting is not.
#include "../host/lv2/Lv2TestHost.h"
#include "AllocationCounter.h"
#include "TortureSupport.h"
#include "effect/OstrandPlugin.h"
#include "persistence/PresetLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace torture;
using namespace lv2test;

namespace {

const std::vector<std::string> uris = {"urn:merovance:ostrand2", "urn:merovance:ostrand2:mono"};

// A few full presets in the user's folder, so program changes find some.
void writeUserPresets()
{
    static bool written = false;
    if (written)
        return;
    written = true;
    OstrandPlugin p;
    const std::string folder = PresetLibrary::shared().getPath();
    std::filesystem::create_directories(folder);
    Random r(99);
    for (int i = 0; i < 6; ++i) {
        randomizeParameters(p, r);
        p.savePreset(folder + "Program " + std::to_string(i) + ".mvp");
    }
}

class Lv2Case {
public:
    Lv2Case(Host& h, std::uint32_t s)
        : log(s), host(h), seed(s), random(s), uri(random.pick(uris)), rate(random.sampleRate()),
          instance(std::make_unique<Instance>(host, uri, rate)), channels(instance->audioOutputCount()),
          mins(instance->mins), maxs(instance->maxs), defaults(instance->defaults), controlPorts(instance->controlInputs)
    {
        log.note(uri + " at " + std::to_string(rate));
        randomPorts(true);
    }
    ~Lv2Case()
    {
        for (LilvState* s : saved)
            lilv_state_free(s);
    }

    // A second and a half of random steps, then the checks.
    void run()
    {
        for (std::int64_t played = 0; played < static_cast<std::int64_t>(rate * 1.5) && !testing::Test::HasFatalFailure();)
            played += step();

        // The case's own last setting (its ports, in range) in a new
        // instance: where that sounds, the tortured one is not silent.
        std::vector<float> values;
        Instance own(host, uri, rate);
        for (const std::string& symbol : controlPorts) {
            const std::uint32_t port = instance->port(symbol);
            const float v = instance->get(symbol);
            values.push_back(std::isnan(v) ? defaults[port] : std::clamp(v, mins[port], maxs[port]));
            own.set(symbol, values.back());
        }
        takePorts(values);
        instance->set("enabled", 1.0f);
        own.set("enabled", 1.0f);
        EXPECT_TRUE(notSilenced(compareWith(own))) << log.context();

        // Ports at a new instance's values, no reset: it plays what a new
        // instance plays.
        Instance fresh(host, uri, rate);
        values.clear();
        for (const std::string& symbol : controlPorts)
            values.push_back(fresh.get(symbol));
        takePorts(values);
        expectPlaysAsNew(compareWith(fresh), log);
    }

    CaseLog log;

private:
    Comparison compareWith(Instance& other)
    {
        const Comparison c = compare(random, rate, seed + 5, [&](int which, const float* x, float* y, int n) {
            std::vector<const float*> ins(2 * channels, x);
            std::vector<float*> outs = {y, input.main[1].data()};
            (which == 0 ? *instance : other).run(ins, outs, 0, static_cast<std::uint32_t>(n));
        });
        EXPECT_TRUE(c.finite) << log.context();
        return c;
    }

    // A port reaches its parameter only when the host moves it, so MIDI
    // learn and program changes may have left parameters the ports do not
    // show. Every port is moved away and back (in one-sample runs of
    // silence), so all parameters take these values.
    void takePorts(const std::vector<float>& values)
    {
        const float silence[1] = {};
        std::vector<const float*> ins(2 * channels, silence);
        std::vector<float*> outs = {out[0].data(), out[1].data()};
        for (int pass = 0; pass < 2; ++pass) {
            for (std::size_t k = 0; k < controlPorts.size(); ++k) {
                const std::uint32_t port = instance->port(controlPorts[k]);
                const float away = values[k] == maxs[port] ? mins[port] : maxs[port];
                instance->set(controlPorts[k], pass == 0 ? away : values[k]);
            }
            instance->run(ins, outs, 0, 1);
        }
        instance->getEvents().midi(0, 0x90, 0, 0); // no note held any more
    }

    // One step of what hosts do; returns the samples it played.
    int step()
    {
        const double x = random.uniform();
        if (x < 0.55)
            return playSomeBlocks(random, [this] { return block(); });
        if (x < 0.70) {
            randomPorts(false);
        } else if (x < 0.74) {
            log.note("bypass");
            static const std::vector<float> states = {0.0f, 1.0f, 0.0f, 1.0f, 0.5f, std::nanf(""), 2.0f};
            instance->set("enabled", random.pick(states));
        } else if (x < 0.78) {
            log.note("deactivated and activated");
            lilv_instance_deactivate(instance->get());
            if (random.chance(0.5))
                randomPorts(false);
            lilv_instance_activate(instance->get());
        } else if (x < 0.82) {
            log.note("state saved");
            if (LilvState* s = instance->saveState())
                saved.push_back(s);
        } else if (x < 0.86) {
            if (!saved.empty()) {
                log.note("state restored");
                instance->restoreState(saved[static_cast<std::size_t>(random.integer(0, static_cast<int>(saved.size()) - 1))]);
            }
        } else if (x < 0.95) {
            midi();
        } else {
            log.note("time:Position");
            static const std::vector<double> odd = {std::nan(""), 0.0, -1.0, 1.0e9, -1.0e9, 1.0e300, 0.5};
            auto field = [&](double lo, double hi) { return random.chance(0.3) ? random.pick(odd) : random.uniform(lo, hi); };
            instance->getEvents().position(random.integer(0, 4000), field(20.0, 300.0), field(0.0, 1.0),
                                           std::floor(field(0.0, 100.0)), field(0.0, 4.0), field(1.0, 12.0),
                                           std::pow(2.0, random.integer(0, 4)));
        }
        return 0;
    }

    int block()
    {
        input.draw(random, rate, static_cast<int>(channels));
        std::vector<const float*> ins;
        std::vector<float*> outs;
        for (std::size_t c = 0; c < channels; ++c) {
            ins.push_back(input.main[c].data());
            // Now and then in place, as many hosts run.
            outs.push_back(random.chance(0.3) ? input.main[c].data() : out[c].data());
        }
        for (std::size_t c = 0; c < channels; ++c)
            ins.push_back(input.sideChain ? input.side[c].data() : nullptr);
        {
            testsupport::AllocationScope scope;
            instance->run(ins, outs, 0, static_cast<std::uint32_t>(input.n));
            log.allocations += scope.count();
        }
        instance->runWork();
        ++log.blocks;
        // The bypass hands bad input through as it is.
        for (std::size_t c = 0; c < channels && input.finite; ++c)
            if (!allFinite(outs[c], input.n))
                ADD_FAILURE() << "output not finite in " << input.describe() << log.context();
        return input.n;
    }

    // Control ports as a host may leave them: in range mostly, now and then
    // beyond it, NaN or infinite.
    void randomPorts(bool all)
    {
        const int count = all ? static_cast<int>(controlPorts.size()) : random.integer(1, 30);
        log.note(std::to_string(count) + " ports written");
        static const std::vector<float> odd = {std::nanf(""), std::numeric_limits<float>::infinity(),
                                               -std::numeric_limits<float>::infinity(), 1e30f};
        for (int k = 0; k < count; ++k) {
            const std::string& symbol = all ? controlPorts[static_cast<std::size_t>(k)] : random.pick(controlPorts);
            if (symbol == "enabled")
                continue;
            const std::uint32_t port = instance->port(symbol);
            const float lo = mins[port], hi = maxs[port];
            const double x = random.uniform();
            float v = x < 0.2 ? lo : x < 0.4 ? hi : x < 0.5 ? defaults[port] : static_cast<float>(random.uniform(lo, hi));
            if (x >= 0.9)
                v = random.chance(0.3) ? (random.chance(0.5) ? lo - 1000.0f : hi + 1000.0f) : random.pick(odd);
            instance->set(symbol, v);
        }
    }

    void midi()
    {
        log.note("MIDI");
        static const int statuses[] = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0xF8};
        std::int64_t frame = 0;
        for (int k = random.integer(1, 30); k > 0; --k) {
            frame += random.integer(0, 600);
            const int status = statuses[random.integer(0, 8)];
            instance->getEvents().midi(frame, static_cast<std::uint8_t>(status | (status < 0xF0 ? random.integer(0, 15) : 0)),
                                       static_cast<std::uint8_t>(random.integer(0, 255)),
                                       static_cast<std::uint8_t>(random.integer(0, 255)));
        }
    }

    Host& host;
    std::uint32_t seed;
    Random random;
    std::string uri;
    double rate;
    std::unique_ptr<Instance> instance;
    std::size_t channels;
    const std::vector<float>&mins, &maxs, &defaults;
    const std::vector<std::string>& controlPorts;
    HostInput input;
    std::vector<float> out[2] = {std::vector<float>(HostInput::maxBlock), std::vector<float>(HostInput::maxBlock)};
    std::vector<LilvState*> saved;
};

} // namespace

TEST(Lv2Torture, BothPluginsSurviveWhateverAHostDoesAndStillSound)
{
    writeUserPresets();
    const Cases c = cases(6, 300);
    Host host(HostInput::maxBlock);
    runCases(c, [&](std::uint32_t seed) { return std::make_unique<Lv2Case>(host, seed); });
}
