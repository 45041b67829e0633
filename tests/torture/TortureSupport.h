#pragma once

// What the torture battery throws at the plug-in, from a seeded generator
// so that every failure names a case that can be run again: block lengths,
// sample rates, parameter values with the ends of every range, and the
// inputs a host may hand over; and an instance made from a descriptor.
//
// The battery is short by default (it runs with every ./dev test). The
// environment makes it long: OSTRAND_TORTURE=long (./dev torture) runs many
// more cases, OSTRAND_TORTURE_CASES=N runs N, and OSTRAND_TORTURE_SEED=S
// starts at case S, which is how a case a failure names is run alone.

#include "../host/lv2/Lv2TestHost.h"
#include "effect/OstrandPlugin.h"
#include "host/lv2/Lv2PluginAdapter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace torture {

// The cases a test runs: seeds firstSeed .. firstSeed + count - 1.
struct Cases {
    std::uint32_t firstSeed = 0;
    int count = 0;
    bool longForm = false;
};

inline Cases cases(int shortCount, int longCount)
{
    Cases c;
    const char* form = std::getenv("OSTRAND_TORTURE");
    c.longForm = form && std::string(form) == "long";
    c.count = c.longForm ? longCount : shortCount;
    if (const char* n = std::getenv("OSTRAND_TORTURE_CASES"))
        c.count = std::max(1, std::atoi(n));
    if (const char* s = std::getenv("OSTRAND_TORTURE_SEED"))
        c.firstSeed = static_cast<std::uint32_t>(std::strtoul(s, nullptr, 10));
    return c;
}

class Random {
public:
    explicit Random(std::uint64_t seed) : engine(seed * 0x9E3779B97F4A7C15ull + 1) {}

    int integer(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine); }
    double uniform(double lo = 0.0, double hi = 1.0) { return std::uniform_real_distribution<double>(lo, hi)(engine); }
    bool chance(double p) { return uniform() < p; }
    template <typename T> const T& pick(const std::vector<T>& from)
    {
        return from[static_cast<std::size_t>(integer(0, static_cast<int>(from.size()) - 1))];
    }

    // Host block lengths: the edges of the graph's 1024-sample blocks and
    // of the vector loops a third of the time, else spread evenly over the
    // octaves from 1 to 8192.
    int blockLength()
    {
        static const std::vector<int> edges = {1, 2, 3, 4, 5, 31, 32, 33, 63, 64, 65, 1023, 1024, 1025, 4095,
                                               4096, 4097, 8191, 8192};
        if (chance(0.33))
            return pick(edges);
        return std::clamp(static_cast<int>(std::exp2(uniform(0.0, 13.0))), 1, 8192);
    }

    // The rates hosts run at, and now and then one in between.
    double sampleRate()
    {
        static const std::vector<double> common = {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0};
        if (chance(0.2))
            return std::round(uniform(22050.0, 192000.0));
        return pick(common);
    }

private:
    std::mt19937_64 engine;
};

// What a host block's input holds.
enum class Input { silence, dc, noise, sine, impulses, denormals, nonFinite };

inline const char* name(Input kind)
{
    static const char* const names[] = {"silence", "DC", "full-scale noise", "sine", "impulses", "denormals",
                                        "NaN/infinity burst"};
    return names[static_cast<int>(kind)];
}

// Most blocks carry signal; bad ones are rarer so the plug-in has time to
// show it recovered.
inline Input randomInput(Random& r)
{
    const double x = r.uniform();
    const double upTo[] = {0.10, 0.20, 0.45, 0.65, 0.75, 0.85};
    return static_cast<Input>(std::upper_bound(std::begin(upTo), std::end(upTo), x) - std::begin(upTo));
}

// Fills n samples of one channel. `phase` carries a sine across blocks.
inline void fill(Random& r, Input kind, float* out, int n, double& phase, double step)
{
    constexpr float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    switch (kind) {
    case Input::silence:
        std::fill_n(out, n, 0.0f);
        break;
    case Input::dc:
        std::fill_n(out, n, r.chance(0.5) ? (r.chance(0.5) ? 1.0f : -1.0f) : static_cast<float>(r.uniform(-1.0, 1.0)));
        break;
    case Input::noise:
        for (int i = 0; i < n; ++i)
            out[i] = static_cast<float>(r.uniform(-1.0, 1.0));
        break;
    case Input::sine:
        for (int i = 0; i < n; ++i, phase += step)
            out[i] = static_cast<float>(0.7 * std::sin(phase));
        phase = std::fmod(phase, 2.0 * 3.14159265358979323846);
        break;
    case Input::impulses:
        std::fill_n(out, n, 0.0f);
        for (int i = r.integer(0, 200); i < n; i += r.integer(1, 2000))
            out[i] = r.chance(0.5) ? 1.0f : -1.0f;
        break;
    case Input::denormals:
        for (int i = 0; i < n; ++i)
            out[i] = static_cast<float>(r.uniform(-1.0, 1.0)) * 1.0e-38f * (r.chance(0.5) ? 1.0f : 1.0e-6f);
        break;
    case Input::nonFinite: {
        // Noise with runs of NaN, infinities and absurd finite values.
        const float bad[] = {nan, -nan, inf, -inf, std::numeric_limits<float>::max(), -1.0e30f, 1.0e20f};
        for (int i = 0; i < n; ++i)
            out[i] = static_cast<float>(r.uniform(-1.0, 1.0));
        for (int i = r.integer(0, std::max(0, n - 1)); i < n; i += r.integer(1, 300))
            std::fill_n(out + i, std::min(n - i, r.integer(1, 64)), bad[r.integer(0, 6)]);
        break;
    }
    }
}

// A value from a parameter's range: the ends, the default, or anything in
// between (whole positions for lists and switches).
inline float randomValue(Random& r, const AbstractPluginParameter& p)
{
    const double x = r.uniform();
    float v = x < 0.2    ? p.getMin()
              : x < 0.4  ? p.getMax()
              : x < 0.55 ? p.getDefault()
                         : static_cast<float>(r.uniform(p.getMin(), p.getMax()));
    return p.isEnumerated() || p.isBoolean() ? std::round(v) : v;
}

// A parameter state as a user (or a host's automation) may leave it: every
// parameter at random, or a few moved away from where they are.
inline void randomizeParameters(GenericPlugin& plugin, Random& r, int flag = 0)
{
    const int count = plugin.getParameterCount();
    const bool all = r.chance(0.5);
    for (int k = all ? count : r.integer(1, 40); k > 0; --k) {
        AbstractPluginParameter& p = *plugin.getParameter(all ? k - 1 : r.integer(0, count - 1));
        p.setValue(randomValue(r, p), flag);
    }
}

inline bool allFinite(const float* x, int n)
{
    return std::all_of(x, x + n, [](float v) { return std::isfinite(v); });
}

// One instance made from one of the module's descriptors in this process,
// every port connected to a buffer of its own: audio (maxBlock samples a
// port), the event sequence, the bypass and the controls at a new
// instance's values.
struct Hosted {
    static constexpr int maxBlock = 8192;

    Hosted(const LV2_Descriptor& d, const Lv2PortLayout& layout, double rate, lv2test::Host& host)
        : descriptor(d), ports(layout), handle(d.instantiate(&d, rate, "", host.getFeatures())),
          buffers(static_cast<std::size_t>(layout.eventsPort()), std::vector<float>(maxBlock)),
          events(host.getUrids(), 4096)
    {
        if (!handle)
            return;
        for (int i = 0; i < ports.parameters; ++i)
            controls.push_back(adapter().getPlugin().getParameter(i)->getValue());
        for (int p = 0; p < ports.eventsPort(); ++p)
            connect(p, audio(p).data());
        connect(ports.eventsPort(), events.get());
        connect(ports.enabledPort(), &enabled);
        for (std::size_t i = 0; i < controls.size(); ++i)
            connect(ports.firstParameterPort() + static_cast<int>(i), &controls[i]);
        d.activate(handle);
    }
    ~Hosted()
    {
        if (handle)
            descriptor.cleanup(handle); // the plug-in needs no deactivate
    }
    Hosted(const Hosted&) = delete;
    Hosted& operator=(const Hosted&) = delete;

    bool ok() const { return handle != nullptr; }
    Lv2PluginAdapter& adapter() const { return *static_cast<Lv2PluginAdapter*>(handle); }
    void connect(int port, void* data) { descriptor.connect_port(handle, static_cast<std::uint32_t>(port), data); }
    std::vector<float>& audio(int port) { return buffers[static_cast<std::size_t>(port)]; }
    bool isInput(int port) const { return port < ports.firstOutput() || port >= ports.firstSideChain(); }
    template <typename T> const T* extension(const char* uri) const
    {
        return static_cast<const T*>(descriptor.extension_data(uri));
    }

    // One block; true when every output sample is finite.
    bool run(int n)
    {
        descriptor.run(handle, static_cast<std::uint32_t>(n));
        events.clear();
        for (int o = ports.firstOutput(); o < ports.firstSideChain(); ++o)
            if (!allFinite(audio(o).data(), n))
                return false;
        return true;
    }
    // One block of `input` on every audio input.
    bool run(Random& r, int n, Input input)
    {
        for (int i = 0; i < ports.eventsPort(); ++i)
            if (isInput(i))
                fill(r, input, audio(i).data(), n, phase, 0.03);
        return run(n);
    }

    const LV2_Descriptor& descriptor;
    Lv2PortLayout ports;
    LV2_Handle handle;
    std::vector<std::vector<float>> buffers;
    lv2test::EventSequence events;
    float enabled = 1.0f;
    std::vector<float> controls;
    double phase = 0.0;
};

} // namespace torture
