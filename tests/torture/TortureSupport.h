#pragma once

// What the torture battery throws at the plug-in, drawn from a seeded
// generator so that every failure names a case that can be run again:
// block lengths from 1 to 8192, sample rates from 22050 to 192000, parameter
// states with the ends of every range, and the inputs a host may hand over
// (silence, DC, full-scale noise, impulses, denormal values, bursts of NaN
// and infinity).
//
// The battery is short by default (it runs with every ./dev test). The
// environment makes it long: OSTRAND_TORTURE=long (./dev torture) runs many
// more cases, OSTRAND_TORTURE_CASES=N runs N, and OSTRAND_TORTURE_SEED=S
// starts at case S, which is how a case a failure names is run alone.

#include "AllocationCounter.h"
#include "Signals.h"
#include "framework/GenericPlugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace torture {

using testsignals::rms;

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
    if (x < 0.10) return Input::silence;
    if (x < 0.20) return Input::dc;
    if (x < 0.45) return Input::noise;
    if (x < 0.65) return Input::sine;
    if (x < 0.75) return Input::impulses;
    if (x < 0.85) return Input::denormals;
    return Input::nonFinite;
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
    case Input::dc: {
        const float level = r.chance(0.5) ? (r.chance(0.5) ? 1.0f : -1.0f) : static_cast<float>(r.uniform(-1.0, 1.0));
        std::fill_n(out, n, level);
        break;
    }
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
        for (int i = r.integer(0, std::max(0, n - 1)); i < n; i += r.integer(1, 300)) {
            const int run = std::min(n - i, r.integer(1, 64));
            const float v = bad[r.integer(0, 6)];
            std::fill_n(out + i, run, v);
        }
        break;
    }
    }
}

// A value from a parameter's range: the ends, the default, or anything in
// between (whole positions for lists and switches).
inline float randomValue(Random& r, const AbstractPluginParameter& p)
{
    const double x = r.uniform();
    float v;
    if (x < 0.2)
        v = p.getMin();
    else if (x < 0.4)
        v = p.getMax();
    else if (x < 0.55)
        v = p.getDefault();
    else
        v = static_cast<float>(r.uniform(p.getMin(), p.getMax()));
    return p.isEnumerated() || p.isBoolean() ? std::round(v) : v;
}

// A parameter state as a user (or a host's automation) may leave it: every
// parameter at random, or a few moved away from where they are.
inline void randomizeParameters(GenericPlugin& plugin, Random& r, int flag = 0)
{
    const int count = plugin.getParameterCount();
    if (r.chance(0.5)) {
        for (int i = 0; i < count; ++i) {
            AbstractPluginParameter& p = *plugin.getParameter(i);
            p.setValue(randomValue(r, p), flag);
        }
        return;
    }
    for (int k = r.integer(1, 40); k > 0; --k) {
        AbstractPluginParameter& p = *plugin.getParameter(r.integer(0, count - 1));
        p.setValue(randomValue(r, p), flag);
    }
}

inline bool allFinite(const float* x, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(x[i]))
            return false;
    return true;
}

// The last steps of a case, for a failure's message, with the way to run
// the case alone.
class CaseLog {
public:
    explicit CaseLog(std::uint32_t s) : seed(s) {}

    void note(const std::string& what)
    {
        if (steps.size() == 24)
            steps.erase(steps.begin());
        steps.push_back(what + " (after " + std::to_string(blocks) + " blocks)");
    }
    std::string context() const
    {
        std::ostringstream s;
        s << "\n  case " << seed << " (OSTRAND_TORTURE_SEED=" << seed << " OSTRAND_TORTURE_CASES=1); last steps:";
        for (const std::string& step : steps)
            s << "\n    " << step;
        return s.str();
    }

    std::int64_t blocks = 0;
    std::size_t allocations = 0;

private:
    std::uint32_t seed;
    std::vector<std::string> steps;
};

// One host block of input, main and side chain of up to two channels: a
// random length and kind (the side chain half the time of the same kind),
// the side chain connected or not.
class HostInput {
public:
    static constexpr int maxBlock = 8192;

    void draw(Random& r, double rate, int channels)
    {
        n = r.blockLength();
        mainKind = randomInput(r);
        sideKind = r.chance(0.5) ? mainKind : randomInput(r);
        sideChain = r.chance(0.7);
        for (std::size_t c = 0; c < static_cast<std::size_t>(channels); ++c) {
            fill(r, mainKind, main[c].data(), n, phase[c], 2.0 * 3.14159 * 220.0 / rate);
            fill(r, sideKind, side[c].data(), n, phase[c + 2], 2.0 * 3.14159 * 97.0 / rate);
        }
        finite = allFinite(main[0].data(), n) && (channels < 2 || allFinite(main[1].data(), n));
    }
    std::string describe() const
    {
        return "a block of " + std::to_string(n) + " (" + name(mainKind) + ", side " + name(sideKind) + ")";
    }

    int n = 0;
    Input mainKind = Input::silence, sideKind = Input::silence;
    bool sideChain = false;
    bool finite = true; // the main input
    std::vector<float> main[2] = {std::vector<float>(maxBlock), std::vector<float>(maxBlock)};
    std::vector<float> side[2] = {std::vector<float>(maxBlock), std::vector<float>(maxBlock)};

private:
    double phase[4] = {0.0, 1.0, 0.0, 2.0};
};

// The same noise through a tortured instance (0) and a new one (1), in the
// same random blocks: play(which, input, output, n) runs one block with the
// input on every channel and as side chain and writes channel 0. Measured
// over the last quarter, when every glide (the delay lines' 5 Hz smoothers
// take about a second from 50 ms) has run its course.
struct Comparison {
    double worst = 0.0;    // largest difference
    double tortured = 0.0; // levels
    double fresh = 0.0;
    bool finite = true;
};

template <typename Play> Comparison compare(Random& r, double rate, std::uint32_t blockSeed, Play play)
{
    const auto length = static_cast<std::size_t>(rate * 1.6);
    std::vector<float> probe(length);
    for (float& v : probe)
        v = static_cast<float>(r.uniform(-0.25, 0.25));
    std::vector<float> y[2] = {std::vector<float>(length), std::vector<float>(length)};
    for (int which = 0; which < 2; ++which) {
        Random blocks(blockSeed);
        for (std::size_t done = 0; done < length;) {
            const auto n = std::min(static_cast<std::size_t>(blocks.blockLength()), length - done);
            play(which, probe.data() + done, y[which].data() + done, static_cast<int>(n));
            done += n;
        }
    }
    Comparison c;
    const std::size_t tail = length * 3 / 4;
    c.finite = allFinite(y[0].data(), static_cast<int>(length));
    for (std::size_t k = tail; k < length; ++k)
        c.worst = std::max(c.worst, std::fabs(static_cast<double>(y[0][k]) - static_cast<double>(y[1][k])));
    c.tortured = rms(y[0], tail, length);
    c.fresh = rms(y[1], tail, length);
    return c;
}

// Where the new instance sounds, the tortured one is not silent.
inline bool notSilenced(const Comparison& c)
{
    return c.fresh <= 1e-3 || c.tortured > c.fresh / 30.0;
}

// Set back like a new instance, without a reset, a tortured one plays what
// the new one plays, and that is not silence.
inline void expectPlaysAsNew(const Comparison& c, const CaseLog& log)
{
    EXPECT_LT(c.worst, 1e-3) << log.context();
    EXPECT_GT(c.fresh, 0.01) << log.context();
}

// Hosts mostly just play: one to four blocks in a row, through
// `block()`, which returns the samples it played. Returns their sum.
template <typename Block> int playSomeBlocks(Random& random, Block block)
{
    int played = 0;
    for (int k = random.integer(1, 4); k > 0; --k)
        played += block();
    return played;
}

// Every case of `c`, a new one per seed (`makeCase(seed)`), played out: no
// case may allocate while it plays; the first fatal failure ends the run.
// Returns the host blocks played in all.
template <typename MakeCase> std::int64_t runCases(const Cases& c, MakeCase makeCase)
{
    std::int64_t blocks = 0;
    for (std::uint32_t seed = c.firstSeed; seed < c.firstSeed + static_cast<std::uint32_t>(c.count); ++seed) {
        auto run = makeCase(seed);
        run->run();
        if (testsupport::allocationCountingAvailable()) {
            EXPECT_EQ(run->log.allocations, 0u) << "case " << seed;
        }
        blocks += run->log.blocks;
        if (testing::Test::HasFatalFailure())
            break;
    }
    return blocks;
}

} // namespace torture
