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
#include <sstream>

using namespace torture;
using namespace lv2test;

namespace {

constexpr int maxBlock = 8192;
constexpr double caseSeconds = 1.5;
const std::vector<std::string> uris = {"urn:merovance:ostrand2", "urn:merovance:ostrand2:mono"};

// What the host's worker does with the requests of one run: the plug-in's
// work, between two run calls, as a host that is not in real time (or
// whose worker thread is quick) runs it.
void runWork(Host& host, LilvInstance* instance)
{
    const auto* iface =
        static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance, LV2_WORKER__interface));
    const char request = 0;
    for (int n = host.takeWorkRequests(); n > 0; --n)
        iface->work(
            instance->lv2_handle, [](LV2_Worker_Respond_Handle, std::uint32_t, const void*) { return LV2_WORKER_SUCCESS; },
            nullptr, 1, &request);
}

// The host's copy of one instance's state: the port values and the
// plug-in's own keys, through lilv as a host saves a session.
LilvState* saveState(Host& host, Instance& instance)
{
    const auto getPort = [](const char* symbol, void* self, std::uint32_t* size, std::uint32_t* type) -> const void* {
        auto& i = *static_cast<Instance*>(self);
        static float value;
        value = i.get(symbol);
        *size = sizeof value;
        *type = 0;
        return &value;
    };
    return lilv_state_new_from_instance(instance.getPlugin(), instance.get(), &host.getUrids().mapFeature, nullptr,
                                        nullptr, nullptr, nullptr, getPort, &instance, 0, nullptr);
}

void restoreState(LilvState* state, Instance& instance)
{
    const auto setPort = [](const char* symbol, void* self, const void* value, std::uint32_t size, std::uint32_t) {
        if (size == sizeof(float))
            static_cast<Instance*>(self)->set(symbol, *static_cast<const float*>(value));
    };
    lilv_state_restore(state, instance.get(), setPort, &instance, 0, nullptr);
}

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
        : host(h), seed(s), random(s), uri(random.pick(uris)), rate(random.sampleRate()),
          instance(std::make_unique<Instance>(host, uri, rate))
    {
        channels = instance->audioOutputCount();
        const std::uint32_t n = lilv_plugin_get_num_ports(instance->getPlugin());
        mins.resize(n);
        maxs.resize(n);
        defaults.resize(n);
        lilv_plugin_get_port_ranges_float(instance->getPlugin(), mins.data(), maxs.data(), defaults.data());
        LilvNode* control = lilv_new_uri(host.getWorld(), LV2_CORE__ControlPort);
        LilvNode* input = lilv_new_uri(host.getWorld(), LV2_CORE__InputPort);
        for (std::uint32_t i = 0; i < n; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(instance->getPlugin(), i);
            if (lilv_port_is_a(instance->getPlugin(), port, control) && lilv_port_is_a(instance->getPlugin(), port, input))
                controlPorts.push_back(lilv_node_as_string(lilv_port_get_symbol(instance->getPlugin(), port)));
        }
        lilv_node_free(control);
        lilv_node_free(input);
        for (std::size_t c = 0; c < 2 * channels; ++c)
            in.emplace_back(maxBlock);
        for (std::size_t c = 0; c < channels; ++c)
            out.emplace_back(maxBlock);
        note(uri + " at " + std::to_string(rate));
        randomPorts(true);
    }
    ~Lv2Case()
    {
        for (LilvState* s : saved)
            lilv_state_free(s);
    }

    void play()
    {
        const auto budget = static_cast<std::int64_t>(rate * caseSeconds);
        while (played < budget && !testing::Test::HasFatalFailure())
            step();
    }

    // Ports at a new instance's values, enabled, no reset: it plays what a
    // new instance plays.
    void checkSoundsLikeNew()
    {
        Instance fresh(host, uri, rate);
        std::vector<float> values;
        for (const std::string& symbol : controlPorts)
            values.push_back(fresh.get(symbol));
        takePorts(values);
        // Without a reset the glides run their course first: the delay
        // lines' 5 Hz smoothers take about a second to settle from 50 ms.
        compareWith(fresh, 1.6, [&](double worst, double level) {
            EXPECT_LT(worst, 1e-3) << context();
            EXPECT_GT(level, 0.01) << context();
        });
    }

    // The case's own last setting (its ports, in range) in a new instance:
    // where that sounds, the tortured one must not be silent.
    void checkNotSilenced()
    {
        Instance fresh(host, uri, rate);
        std::vector<float> values;
        for (const std::string& symbol : controlPorts) {
            const std::uint32_t port = instance->port(symbol);
            const float v = instance->get(symbol);
            values.push_back(std::isnan(v) ? defaults[port] : std::clamp(v, mins[port], maxs[port]));
            fresh.set(symbol, values.back());
        }
        takePorts(values);
        instance->set("enabled", 1.0f);
        fresh.set("enabled", 1.0f);
        compareWith(fresh, 1.0, [&](double, double) {});
    }

    std::size_t getAllocations() const { return allocations; }
    std::int64_t getBlocks() const { return blocks; }

private:
    // Plays the same noise through both; report(worst difference over the
    // last quarter, level of the new one there). In the tortured instance's
    // own setting the levels are compared.
    template <typename Report> void compareWith(Instance& fresh, double seconds, Report report)
    {
        const auto length = static_cast<std::size_t>(rate * seconds);
        std::vector<float> probe(length);
        for (float& v : probe)
            v = static_cast<float>(random.uniform(-0.25, 0.25));
        std::vector<Signal2> results;
        for (Instance* i : {instance.get(), &fresh}) {
            Signal2 y(length);
            Random blocksOf(seed + 5);
            for (std::size_t done = 0; done < length;) {
                const auto n = static_cast<std::uint32_t>(
                    std::min<std::size_t>(static_cast<std::size_t>(blocksOf.blockLength()), length - done));
                std::vector<const float*> ins(2 * channels, probe.data() + done);
                std::vector<float*> outs(channels, y.data() + done);
                std::vector<float> other(n);
                if (channels == 2)
                    outs[1] = other.data();
                i->run(ins, outs, 0, n);
                done += n;
            }
            results.push_back(std::move(y));
        }
        const std::size_t tail = length * 3 / 4;
        double worst = 0.0;
        for (std::size_t k = tail; k < length; ++k) {
            EXPECT_TRUE(std::isfinite(results[0][k])) << context();
            worst = std::max(worst, std::fabs(static_cast<double>(results[0][k]) - static_cast<double>(results[1][k])));
        }
        const double level = rms(results[1], tail, length);
        if (seconds >= 1.0 && level > 1e-3) {
            EXPECT_GT(rms(results[0], tail, length), level / 30.0) << "expected level " << level << context();
        }
        report(worst, level);
    }
    using Signal2 = std::vector<float>;

    // A port reaches its parameter only when the host moves it, so MIDI
    // learn and program changes may have left parameters the ports do not
    // show. Every port is moved away and back (in one-sample runs of
    // silence), so all parameters take these values.
    void takePorts(const std::vector<float>& values)
    {
        std::vector<float> silence(2);
        std::vector<const float*> ins(2 * channels, silence.data());
        std::vector<float*> outs(channels, out[0].data());
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

    void step()
    {
        const double x = random.uniform();
        if (x < 0.55) {
            for (int k = random.integer(1, 4); k > 0; --k)
                block();
        } else if (x < 0.70) {
            randomPorts(false);
        } else if (x < 0.74) {
            note("bypass");
            static const std::vector<float> states = {0.0f, 1.0f, 0.0f, 1.0f, 0.5f, std::nanf(""), 2.0f};
            instance->set("enabled", random.pick(states));
        } else if (x < 0.78) {
            note("deactivated and activated");
            lilv_instance_deactivate(instance->get());
            if (random.chance(0.5))
                randomPorts(false);
            lilv_instance_activate(instance->get());
        } else if (x < 0.82) {
            note("state saved");
            if (LilvState* s = saveState(host, *instance))
                saved.push_back(s);
        } else if (x < 0.86) {
            if (!saved.empty()) {
                note("state restored");
                restoreState(saved[static_cast<std::size_t>(random.integer(0, static_cast<int>(saved.size()) - 1))],
                             *instance);
            }
        } else if (x < 0.95) {
            midi();
        } else {
            position();
        }
    }

    void block()
    {
        const int n = random.blockLength();
        const Input mainKind = randomInput(random);
        const Input sideKind = random.chance(0.5) ? mainKind : randomInput(random);
        const bool sideChain = random.chance(0.7);
        std::vector<const float*> ins;
        for (std::size_t c = 0; c < 2 * channels; ++c) {
            const bool isSide = c >= channels;
            fill(random, isSide ? sideKind : mainKind, in[c].data(), n, phase[c % 2],
                 2.0 * 3.14159 * (isSide ? 97.0 : 220.0) / rate);
            ins.push_back(isSide && !sideChain ? nullptr : in[c].data());
        }
        std::vector<float*> outs;
        for (auto& o : out)
            outs.push_back(o.data());
        // Now and then in place, as many hosts run.
        if (random.chance(0.3))
            for (std::size_t c = 0; c < channels; ++c)
                outs[c] = in[c].data();
        bool finiteInput = true;
        for (std::size_t c = 0; c < channels; ++c)
            finiteInput = finiteInput && allFinite(in[c].data(), n);
        {
            testsupport::AllocationScope scope;
            instance->run(ins, outs, 0, static_cast<std::uint32_t>(n));
            allocations += scope.count();
        }
        runWork(host, instance->get());
        ++blocks;
        played += n;
        if (!finiteInput)
            return;
        for (std::size_t c = 0; c < channels; ++c)
            if (!allFinite(outs[c], n)) {
                ADD_FAILURE() << "output not finite in a block of " << n << " (" << name(mainKind) << ", side "
                              << name(sideKind) << ")" << context();
                return;
            }
    }

    // Control ports as a host may leave them: in range mostly, now and then
    // beyond it, NaN or infinite.
    void randomPorts(bool all)
    {
        const int count = all ? static_cast<int>(controlPorts.size()) : random.integer(1, 30);
        note(std::to_string(count) + " ports written");
        for (int k = 0; k < count; ++k) {
            const std::string& symbol =
                all ? controlPorts[static_cast<std::size_t>(k)] : random.pick(controlPorts);
            if (symbol == "enabled")
                continue;
            const std::uint32_t port = instance->port(symbol);
            const float lo = mins[port], hi = maxs[port];
            const double x = random.uniform();
            float v;
            if (x < 0.2)
                v = lo;
            else if (x < 0.4)
                v = hi;
            else if (x < 0.5)
                v = defaults[port];
            else if (x < 0.9)
                v = static_cast<float>(random.uniform(lo, hi));
            else
                v = random.pick(std::vector<float>{lo - 1000.0f, hi + 1000.0f, std::nanf(""),
                                                   std::numeric_limits<float>::infinity(),
                                                   -std::numeric_limits<float>::infinity(), 1e30f});
            instance->set(symbol, v);
        }
    }

    void midi()
    {
        note("MIDI");
        EventSequence& e = instance->getEvents();
        std::int64_t frame = 0;
        for (int k = random.integer(1, 30); k > 0; --k) {
            frame += random.integer(0, 600);
            static const int statuses[] = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0xF8};
            const int status = statuses[random.integer(0, 8)];
            e.midi(frame, static_cast<std::uint8_t>(status | (status < 0xF0 ? random.integer(0, 15) : 0)),
                   static_cast<std::uint8_t>(random.integer(0, 255)), static_cast<std::uint8_t>(random.integer(0, 255)));
        }
    }

    void position()
    {
        note("time:Position");
        static const std::vector<double> odd = {std::nan(""), 0.0, -1.0, 1.0e9, -1.0e9, 1.0e300, 0.5};
        auto field = [&](double lo, double hi) { return random.chance(0.3) ? random.pick(odd) : random.uniform(lo, hi); };
        instance->getEvents().position(random.integer(0, 4000), field(20.0, 300.0), field(0.0, 1.0),
                                       std::floor(field(0.0, 100.0)), field(0.0, 4.0), field(1.0, 12.0),
                                       std::pow(2.0, random.integer(0, 4)));
    }

    void note(const std::string& what)
    {
        if (history.size() == 24)
            history.erase(history.begin());
        history.push_back(what + " (after " + std::to_string(blocks) + " blocks)");
    }

    std::string context() const
    {
        std::ostringstream s;
        s << "\n  case " << seed << " (OSTRAND_TORTURE_SEED=" << seed << " OSTRAND_TORTURE_CASES=1); last steps:";
        for (const std::string& h : history)
            s << "\n    " << h;
        return s.str();
    }

    Host& host;
    std::uint32_t seed;
    Random random;
    std::string uri;
    double rate;
    std::unique_ptr<Instance> instance;
    std::size_t channels = 2;
    std::vector<float> mins, maxs, defaults;
    std::vector<std::string> controlPorts;
    std::vector<std::vector<float>> in, out;
    double phase[2] = {0.0, 1.0};
    std::vector<LilvState*> saved;
    std::vector<std::string> history;
    std::size_t allocations = 0;
    std::int64_t blocks = 0;
    std::int64_t played = 0;
};

} // namespace

TEST(Lv2Torture, BothPluginsSurviveWhateverAHostDoesAndStillSound)
{
    writeUserPresets();
    const Cases c = cases(6, 300);
    Host host(maxBlock);
    for (std::uint32_t seed = c.firstSeed; seed < c.firstSeed + static_cast<std::uint32_t>(c.count); ++seed) {
        Lv2Case run(host, seed);
        run.play();
        run.checkNotSilenced();
        run.checkSoundsLikeNew();
        if (testsupport::allocationCountingAvailable()) {
            EXPECT_EQ(run.getAllocations(), 0u) << "case " << seed;
        }
        if (HasFatalFailure())
            return;
    }
}
