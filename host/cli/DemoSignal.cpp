#include "host/cli/DemoSignal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int bars = 6;
constexpr int stepsPerBar = 16;
constexpr double tailSeconds = 0.3;

double noteHz(int midi)
{
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// Deterministic white noise, so every render of the demo is the same.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state(seed ? seed : 1u) {}
    double next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t state;
};

// One-pole low-pass; its complement gives the high-pass.
class OnePole {
public:
    OnePole(double cutoffHz, double sampleRate) : a(1.0 - std::exp(-2.0 * pi * cutoffHz / sampleRate)) {}
    double lowPass(double x) { return y += a * (x - y); }
    double highPass(double x) { return x - lowPass(x); }

private:
    double a;
    double y = 0.0;
};

// A band-limited sawtooth (polynomial correction at the wrap) so the pad does
// not alias into harshness.
double sawSample(double& phase, double increment)
{
    double t = phase;
    double v = 2.0 * t - 1.0;
    if (t < increment) {
        t /= increment;
        v -= t + t - t * t - 1.0;
    } else if (t > 1.0 - increment) {
        t = (t - 1.0) / increment;
        v -= t * t + t + t + 1.0;
    }
    phase += increment;
    if (phase >= 1.0)
        phase -= 1.0;
    return v;
}

class Mix {
public:
    Mix(int rate, std::size_t frames) : sampleRate(rate), left(frames), right(frames) {}

    std::size_t frameAt(double seconds) const { return static_cast<std::size_t>(seconds * sampleRate); }
    std::size_t size() const { return left.size(); }

    // Adds a mono voice at a pan position (-1 left .. 1 right, equal power).
    // The last 5 ms fade out, so a voice cut off at its length never clicks.
    template <typename Voice> void add(double startSeconds, double lengthSeconds, double pan, Voice voice)
    {
        const double angle = (pan + 1.0) * pi / 4.0;
        const double gl = std::cos(angle), gr = std::sin(angle);
        const std::size_t start = frameAt(startSeconds);
        const std::size_t length = frameAt(lengthSeconds);
        const double fade = std::max(1.0, 0.005 * sampleRate);
        for (std::size_t k = 0; k < length && start + k < size(); ++k) {
            const double v = voice(static_cast<double>(k) / sampleRate) *
                             std::min(1.0, static_cast<double>(length - k) / fade);
            left[start + k] += v * gl;
            right[start + k] += v * gr;
        }
    }

    int sampleRate;
    std::vector<double> left, right;
};

void kick(Mix& mix, double at, double velocity)
{
    double phase = 0.0;
    Noise click(7);
    mix.add(at, 0.6, 0.0, [&, rate = mix.sampleRate](double t) {
        const double hz = 46.0 + 120.0 * std::exp(-t / 0.03);
        phase += 2.0 * pi * hz / rate;
        const double body = std::sin(phase) * std::exp(-t / 0.11) * std::min(1.0, t / 0.002);
        const double transient = click.next() * std::exp(-t / 0.002) * 0.3;
        return velocity * 0.9 * (body + transient);
    });
}

void snare(Mix& mix, double at, double velocity)
{
    Noise noise(12345);
    OnePole low(1200.0, mix.sampleRate), high(6000.0, mix.sampleRate), higher(9000.0, mix.sampleRate);
    mix.add(at, 0.42, -0.05, [&](double t) {
        const double tone = std::sin(2.0 * pi * 185.0 * t) * std::exp(-t / 0.045) * 0.45;
        const double hiss =
            higher.lowPass(high.lowPass(low.highPass(noise.next()))) * std::exp(-t / 0.06) * 1.3;
        return velocity * 0.6 * (tone + hiss) * std::min(1.0, t / 0.001);
    });
}

void hat(Mix& mix, double at, double velocity, bool open)
{
    Noise noise(999);
    OnePole first(6500.0, mix.sampleRate), second(8000.0, mix.sampleRate), smooth(14000.0, mix.sampleRate);
    const double decay = open ? 0.09 : 0.022;
    mix.add(at, decay * 7.0, 0.35, [&](double t) {
        const double bright = smooth.lowPass(second.highPass(first.highPass(noise.next())));
        return velocity * 0.22 * bright * std::exp(-t / decay);
    });
}

void bass(Mix& mix, double at, double length, int midi)
{
    const double hz = noteHz(midi);
    double sub = 0.0, saw = 0.0;
    OnePole tone(260.0, mix.sampleRate);
    mix.add(at, length + 0.03, 0.0, [&, rate = mix.sampleRate](double t) {
        const double attack = std::min(1.0, t / 0.006);
        const double release = t > length ? std::max(0.0, 1.0 - (t - length) / 0.03) : 1.0;
        sub += 2.0 * pi * hz / rate;
        const double grit = tone.lowPass(sawSample(saw, hz / rate));
        return 0.42 * std::tanh(1.4 * (std::sin(sub) + 0.5 * grit)) * attack * release;
    });
}

void padNote(Mix& mix, double at, double length, int midi, double pan, double detuneCents)
{
    const double hz = noteHz(midi) * std::pow(2.0, detuneCents / 1200.0);
    double a = 0.0, b = 0.37;
    OnePole soften(900.0, mix.sampleRate), again(1800.0, mix.sampleRate);
    mix.add(at, length + 0.35, pan, [&, rate = mix.sampleRate](double t) {
        const double attack = std::min(1.0, t / 0.25);
        const double release = t > length ? std::max(0.0, 1.0 - (t - length) / 0.35) : 1.0;
        const double raw = sawSample(a, hz / rate) + sawSample(b, hz * 1.004 / rate);
        return 0.035 * again.lowPass(soften.lowPass(raw)) * attack * release;
    });
}

} // namespace

DemoSignal::DemoSignal(int rate) : sampleRate(rate > 0 ? rate : defaultSampleRate)
{
    const double step = 60.0 / tempo / 4.0;
    const double bar = step * stepsPerBar;
    Mix mix(sampleRate, static_cast<std::size_t>((bars * bar + tailSeconds) * sampleRate));

    // Am - F - C - G - Am - F: bass roots and pad voicings (MIDI notes).
    const std::array<int, bars> roots = {33, 29, 36, 31, 33, 29};
    const std::array<std::array<int, 3>, bars> chords = {{
        {57, 60, 64},
        {57, 60, 65},
        {55, 60, 64},
        {55, 59, 62},
        {57, 60, 64},
        {57, 60, 65},
    }};
    // Bass rhythm within a bar: start step, length in steps, octave up.
    struct BassHit {
        int step, length;
        bool up;
    };
    const std::array<BassHit, 5> bassLine = {
        {{0, 3, false}, {3, 2, false}, {6, 3, true}, {10, 2, false}, {12, 3, false}}};

    for (int b = 0; b < bars; ++b) {
        const double barStart = b * bar;
        const bool last = b == bars - 1;
        for (int s = 0; s < stepsPerBar; ++s) {
            const double at = barStart + s * step;
            if (s == 0 || s == 10 || (b % 2 == 1 && s == 7))
                kick(mix, at, s == 0 ? 1.0 : 0.85);
            if (s == 4 || s == 12)
                snare(mix, at, 1.0);
            if (last && s >= 13) // a short roll into the end
                snare(mix, at, 0.35 + 0.15 * (s - 13));
            if (b > 0 && (s == 7 || s == 15) && !last)
                snare(mix, at, 0.18); // ghost notes
            if (s % 2 == 0)
                hat(mix, at, (s % 4 == 2) ? 1.0 : 0.55, s == 14 && b % 2 == 1);
            else if (s == 11 || s == 15)
                hat(mix, at, 0.35, false);
        }
        for (const BassHit& hit : bassLine)
            bass(mix, barStart + hit.step * step, hit.length * step * 0.92,
                 roots[static_cast<std::size_t>(b)] + (hit.up ? 12 : 0));
        const auto& chord = chords[static_cast<std::size_t>(b)];
        for (std::size_t n = 0; n < chord.size(); ++n) {
            const double spread = (static_cast<double>(n) - 1.0) * 0.5;
            padNote(mix, barStart, bar - 0.05, chord[n], -0.6 + spread, -7.0);
            padNote(mix, barStart, bar - 0.05, chord[n], 0.6 - spread, 7.0);
        }
    }

    // Take out the little DC the kick's first half-wave leaves, scale to
    // -3 dBFS and fade the very ends so the file starts and stops cleanly.
    OnePole dcLeft(10.0, sampleRate), dcRight(10.0, sampleRate);
    for (std::size_t i = 0; i < mix.size(); ++i) {
        mix.left[i] = dcLeft.highPass(mix.left[i]);
        mix.right[i] = dcRight.highPass(mix.right[i]);
    }
    double peak = 1e-9;
    for (std::size_t i = 0; i < mix.size(); ++i)
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    const double gain = 0.7079 / peak;
    const std::size_t fade = static_cast<std::size_t>(0.005 * sampleRate);
    samples.resize(mix.size() * 2);
    for (std::size_t i = 0; i < mix.size(); ++i) {
        double g = gain;
        if (i < fade)
            g *= static_cast<double>(i) / static_cast<double>(fade);
        if (mix.size() - i <= fade)
            g *= static_cast<double>(mix.size() - i - 1) / static_cast<double>(fade);
        samples[2 * i] = static_cast<float>(mix.left[i] * g);
        samples[2 * i + 1] = static_cast<float>(mix.right[i] * g);
    }
}

int DemoSignal::read(float* interleaved, int maxFrames)
{
    const std::size_t total = samples.size() / 2;
    const std::size_t count =
        std::min(total - std::min(readFrame, total), static_cast<std::size_t>(std::max(maxFrames, 0)));
    std::copy_n(samples.data() + 2 * readFrame, 2 * count, interleaved);
    readFrame += count;
    return static_cast<int>(count);
}
