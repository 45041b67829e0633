// The "Clean" filter against biquads designed by sox, which are independent
// of our formulas: its low-pass and high-pass at peak 0 are Butterworth
// sections (Q = 1/sqrt(2)), its band-pass is the constant-0-dB band-pass
// with the bandwidth term alpha = tan((1 - peak / 2) pi fc / fs).
#include "GraphSignals.h"
#include "TestFiles.h"

#include "filters/BiQuadFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <string>

namespace {

constexpr float rate = 44100.0f;

std::vector<float> clean(const std::vector<float>& in, int response, int slope, float frequency, float peak)
{
    wave::Graph graph(rate);
    BiQuadFilter filter(graph);
    filter.response = static_cast<GenericFilter::Response>(response);
    filter.slope = static_cast<GenericFilter::Slope>(slope);
    const std::vector<float> cutoff(in.size(), std::log2(frequency)), peaks(in.size(), peak);
    std::vector<float> out(in.size());
    filter.process(in.data(), out.data(), cutoff.data(), peaks.data(), nullptr, static_cast<int>(in.size()), true);
    return out;
}

} // namespace

// Each case's residual against sox stays below -80 dB:
// - low-pass and high-pass at peak 0 are Butterworth sections, down to 30 Hz
//   too, where a single-precision direct form would already be off by
//   -58 dB (the sections run as integrator loops, whose coefficients keep
//   their precision at low cut-offs);
// - steeper slopes cascade sections of the same cut-off, and only the first
//   takes the peak (1/Q falls to 0.02: Q 50) while the others stay
//   Butterworth, so the resonance is as high at 48 dB as at 12 dB instead of
//   multiplying with the slope (sox passes samples between its effects as
//   integers clipped at full scale, so that case goes in at a tenth, below
//   what the resonance, +34 dB, could push past it);
// - the band-pass's bandwidth halves from peak 0 to 1 (sox takes Q with
//   alpha = sin(w0) / (2 Q)).
TEST(CleanAgainstSox, MatchesSoxBiquads)
{
    // Two seconds of white noise at -12 dBFS, made by sox; raw 32-bit floats throughout.
    const testsupport::ScratchFolder dir;
    auto sox = [&](const std::string& arguments) {
        const testsupport::Outcome run = testsupport::runCommand(std::string(OSTRAND_SOX) + " " + arguments);
        EXPECT_EQ(run.status, 0) << arguments << "\n" << run.output;
        const std::string bytes = testsupport::readFile(dir.path("out.f32"));
        std::vector<float> samples(bytes.size() / sizeof(float));
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
        return samples;
    };
    const std::string raw = "-t f32 -r 44100 -c 1 ";
    const std::vector<float> noise = sox("-n " + raw + dir / "out.f32" + " synth 2 whitenoise vol 0.25");
    ASSERT_EQ(noise.size(), 88200u);
    std::filesystem::rename(dir.path("out.f32"), dir.path("noise.f32"));

    struct Case {
        int response, slope;
        float hz, peak;
        std::string effects;
        float level = 1.0f;
    };
    const std::string butterworth = " 0.7071067811865476q ";
    auto times = [](int n, const std::string& effect) {
        std::string all;
        for (int i = 0; i < n; ++i)
            all += effect;
        return all;
    };
    auto bandPassQ = [](float peak) {
        const double w = std::numbers::pi * 1500.0 / 44100.0;
        const double alpha = std::tan((1.0 - 0.5 * static_cast<double>(peak)) * w);
        return std::to_string(std::sin(2.0 * w) / (2.0 * alpha)) + "q";
    };
    std::vector<Case> cases;
    for (const int hz : {30, 100, 300, 1000, 8000}) {
        cases.push_back({GenericFilter::lowPass, 1, static_cast<float>(hz), 0.0f, "lowpass " + std::to_string(hz) + butterworth});
        cases.push_back({GenericFilter::highPass, 1, static_cast<float>(hz), 0.0f, "highpass " + std::to_string(hz) + butterworth});
    }
    cases.push_back({GenericFilter::lowPass, 2, 2000.0f, 0.0f, times(2, "lowpass 2000" + butterworth)});
    cases.push_back({GenericFilter::highPass, 3, 300.0f, 0.0f, times(4, "highpass 300" + butterworth)});
    cases.push_back({GenericFilter::lowPass, 3, 1000.0f, 1.0f, "vol 0.1 lowpass 1000 50q " + times(3, "lowpass 1000" + butterworth), 0.1f});
    for (const float p : {0.0f, 1.0f})
        cases.push_back({GenericFilter::bandPass, 1, 1500.0f, p, "bandpass 1500 " + bandPassQ(p)});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.effects);
        const std::vector<float> reference = sox("-D " + raw + dir / "noise.f32" + " " + raw + dir / "out.f32" + " " + c.effects);
        ASSERT_EQ(reference.size(), noise.size());
        const std::vector<float> ours = clean(noise, c.response, c.slope, c.hz, c.peak);
        double error = 0.0, energy = 0.0;
        for (std::size_t i = 0; i < reference.size(); ++i) {
            const double r = reference[i], d = static_cast<double>(ours[i] * c.level) - r;
            error += d * d;
            energy += r * r;
        }
        EXPECT_LT(10.0 * std::log10(error / energy), -80.0);
    }
}

TEST(BiQuadFilter, DesignHoldsTheCutOffWithinOneHertzAndTheNyquistLimit)
{
    auto same = [](const BiQuadFilter::Coefficients& a, const BiQuadFilter::Coefficients& b) {
        return a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2 && a.a1 == b.a1 && a.a2 == b.a2;
    };
    for (int response = 0; response < 3; ++response) {
        EXPECT_TRUE(same(BiQuadFilter::design(response, -3.0f, 0.5f, rate),
                         BiQuadFilter::design(response, 0.0f, 0.5f, rate)));
        EXPECT_TRUE(same(BiQuadFilter::design(response, 20.0f, 0.5f, rate),
                         BiQuadFilter::design(response, 16.0f, 0.5f, rate)));
        const auto limit = BiQuadFilter::design(response, std::log2(0.49f * rate), 0.5f, rate);
        const auto above = BiQuadFilter::design(response, 20.0f, 0.5f, rate);
        EXPECT_NEAR(limit.a1, above.a1, 1e-4f);
        EXPECT_NEAR(limit.b0, above.b0, 1e-4f);
    }
    // At the cut-off a second-order section has gain Q: 1/sqrt(2) at peak 0,
    // 1/0.02 = 50 at peak 1.
    for (const auto& [p, q] : {std::pair{0.0f, 1.0 / std::numbers::sqrt2}, std::pair{1.0f, 50.0}}) {
        const auto c = BiQuadFilter::design(GenericFilter::lowPass, std::log2(1000.0f), p, rate);
        const std::complex<double> z = std::polar(1.0, -2.0 * std::numbers::pi * 1000.0 / 44100.0);
        const std::complex<double> h =
            (static_cast<double>(c.b0) + static_cast<double>(c.b1) * z + static_cast<double>(c.b2) * z * z) /
            (1.0 + static_cast<double>(c.a1) * z + static_cast<double>(c.a2) * z * z);
        EXPECT_NEAR(std::abs(h), q, q * 1e-4) << p;
    }
}

TEST(BiQuadFilter, RedesignsEveryThirtyTwoSamplesOrOnATenthOfAnOctave)
{
    wave::Graph graph(rate);
    const auto input = sine(256, 700.0f, 0.5f);
    const float c0 = std::log2(2000.0f);

    // Filtered with a constant cut-off for the first `first` samples, then with `later`.
    auto twoPart = [&](int first, float later) {
        BiQuadFilter filter(graph);
        std::vector<float> out(256);
        const std::vector<float> a(256, c0), b(256, later), p(256, 0.3f);
        filter.process(input.data(), out.data(), a.data(), p.data(), nullptr, first, true);
        filter.process(input.data() + first, out.data() + first, b.data(), p.data(), nullptr, 256 - first,
                       true);
        return out;
    };
    for (const auto& [move, redesignAt] : {std::pair{0.05f, 32}, std::pair{0.2f, 5}}) {
        SCOPED_TRACE(move);
        BiQuadFilter filter(graph);
        std::vector<float> cutoff(256, c0 + move);
        std::fill_n(cutoff.begin(), 5, c0);
        const std::vector<float> p(256, 0.3f);
        std::vector<float> out(256);
        filter.process(input.data(), out.data(), cutoff.data(), p.data(), nullptr, 256, false);
        EXPECT_EQ(out, twoPart(redesignAt, c0 + move));
    }
}

TEST(BiQuadFilter, RecoversFromANonFiniteInput)
{
    wave::Graph graph(rate);
    BiQuadFilter filter(graph);
    std::vector<float> x = sine(512, 440.0f, 0.5f);
    x[100] = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> c(512, 10.0f), p(512, 0.0f);
    std::vector<float> out(512);
    filter.process(x.data(), out.data(), c.data(), p.data(), nullptr, 256, true);
    filter.process(x.data() + 256, out.data() + 256, c.data(), p.data(), nullptr, 256, true);
    for (std::size_t i = 256; i < 512; ++i)
        ASSERT_TRUE(std::isfinite(out[i])) << i;
    // The states are checked every 32 samples: from the next check on, the
    // filter is a fresh one.
    BiQuadFilter fresh(graph);
    std::vector<float> restarted(512 - 128);
    fresh.process(x.data() + 128, restarted.data(), c.data(), p.data(), nullptr, 512 - 128, true);
    for (std::size_t i = 128; i < 512; ++i)
        ASSERT_EQ(out[i], restarted[i - 128]) << i;
}

TEST(BiQuadFilter, ANonFinitePeakOrCutOffDoesNotStickInTheDesign)
{
    // A NaN peak (for instance from a silence detector that saw a NaN) is
    // designed as peak 0; when a real peak follows at the same cut-off, the
    // sections must take it. A sine at the cut-off shows the peak: the
    // section's gain there is Q, 7 at peak 0.9 and 0.7 at peak 0.
    wave::Graph graph(rate);
    BiQuadFilter filter(graph);
    const int n = 8192;
    const std::vector<float> x = sine(n, 1000.0f, 0.1f);
    const std::vector<float> c(n, std::log2(1000.0f));
    std::vector<float> p(n, 0.9f), out(n);
    std::fill_n(p.begin(), 256, std::numeric_limits<float>::quiet_NaN());
    for (int at = 0; at < n; at += 256)
        filter.process(x.data() + at, out.data() + at, c.data() + at, p.data() + at, nullptr, 256, true);
    float late = 0.0f;
    for (int i = n / 2; i < n; ++i)
        late = std::max(late, std::fabs(out[static_cast<std::size_t>(i)]));
    EXPECT_NEAR(late, 0.1f / (std::numbers::sqrt2_v<float> - (std::numbers::sqrt2_v<float> - 0.02f) * 0.9f),
                0.02f);

    // A non-finite cut-off is designed like cut-off 0 (1 Hz) or the top limit.
    auto run = [&](float cutoff) {
        BiQuadFilter f(graph);
        const std::vector<float> cut(512, cutoff), zero(512, 0.0f);
        std::vector<float> y(512);
        f.process(x.data(), y.data(), cut.data(), zero.data(), nullptr, 512, false);
        return y;
    };
    EXPECT_EQ(run(std::numeric_limits<float>::quiet_NaN()), run(0.0f));
    EXPECT_EQ(run(-std::numeric_limits<float>::infinity()), run(-5.0f));
    EXPECT_EQ(run(std::numeric_limits<float>::infinity()), run(30.0f));
}

TEST(BiQuadFilter, ASquareWaveOnTheCutOffDoesNotOvershoot)
{
    // A square-wave LFO throws the cut-off between 2.6 kHz and 34 Hz (over six
    // octaves) in one sample. Whatever the filter holds at the jump must go on
    // from the signal as it was: the output may not rise above what the
    // filter gives at either cut-off held still.
    constexpr int length = 44100;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> spread(-0.5f, 0.5f);
    std::vector<float> noise(length);
    for (float& v : noise)
        v = spread(random);
    const float high = std::log2(2600.0f), low = std::log2(34.0f);
    std::vector<float> square(length);
    for (int i = 0; i < length; ++i)
        square[static_cast<std::size_t>(i)] = (i / 2205) % 2 ? low : high; // 10 Hz
    auto largest = [&](int response, int slope, float peak, const std::vector<float>& cutoff) {
        wave::Graph graph(rate);
        BiQuadFilter filter(graph);
        filter.response = static_cast<GenericFilter::Response>(response);
        filter.slope = static_cast<GenericFilter::Slope>(slope);
        const std::vector<float> p(length, peak);
        std::vector<float> out(length);
        for (int at = 0; at < length; at += 256) {
            const int n = std::min(256, length - at);
            filter.process(noise.data() + at, out.data() + at, cutoff.data() + at, p.data() + at, nullptr, n,
                           false);
        }
        float y = 0.0f;
        for (int i = 4410; i < length; ++i) // past the start-up of the held filters
            y = std::max(y, std::fabs(out[static_cast<std::size_t>(i)]));
        return y;
    };
    for (int response = 0; response < 3; ++response) {
        for (int slope = 1; slope <= 3; ++slope) {
            for (const float peak : {0.0f, 0.5f}) {
                SCOPED_TRACE(testing::Message()
                             << "response " << response << " slope " << slope << " peak " << peak);
                const float held = std::max(largest(response, slope, peak, std::vector<float>(length, high)),
                                            largest(response, slope, peak, std::vector<float>(length, low)));
                EXPECT_LT(largest(response, slope, peak, square), 1.25f * held);
            }
        }
    }
}
