// The "Clean" filter against biquads designed by sox, which are independent
// of our formulas: its low-pass and high-pass at peak 0 are Butterworth
// sections (Q = 1/sqrt(2)), its band-pass is the constant-0-dB band-pass
// with the bandwidth term alpha = tan((1 - peak / 2) pi fc / fs).
#include "GraphSignals.h"

#include "filters/BiQuadFilter.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr float rate = 44100.0f;

std::vector<float> readMono(const fs::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file || info.channels != 1)
        return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

class CleanAgainstSox : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("ostrand-clean-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        // Two seconds of white noise at -12 dBFS, as 32-bit float, made by sox.
        sox("-n -r 44100 -c 1 -b 32 -e floating-point " + path("noise.wav") + " synth 2 whitenoise vol 0.25");
        noise = readMono(dir / "noise.wav");
        ASSERT_EQ(noise.size(), 88200u);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    void sox(const std::string& arguments) const
    {
        const std::string command = std::string(OSTRAND_SOX) + " " + arguments + " 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    std::vector<float> soxFiltered(const std::string& effects)
    {
        sox("-D " + path("noise.wav") + " -b 32 -e floating-point " + path("sox.wav") + " " + effects);
        return readMono(dir / "sox.wav");
    }

    std::vector<float> clean(int response, int slope, float frequency, float peak)
    {
        wave::Graph graph(rate);
        BiQuadFilter filter(graph);
        filter.response = static_cast<GenericFilter::Response>(response);
        filter.slope = static_cast<GenericFilter::Slope>(slope);
        const std::vector<float> cutoff(noise.size(), std::log2(frequency));
        const std::vector<float> peaks(noise.size(), peak);
        std::vector<float> out(noise.size());
        filter.process(noise.data(), out.data(), cutoff.data(), peaks.data(), nullptr,
                       static_cast<int>(noise.size()), true);
        return out;
    }

    // Residual relative to the reference, in dB.
    static double residualDb(const std::vector<float>& ours, const std::vector<float>& reference)
    {
        double error = 0.0;
        double energy = 0.0;
        for (std::size_t i = 0; i < reference.size(); ++i) {
            const double d = static_cast<double>(ours[i]) - static_cast<double>(reference[i]);
            error += d * d;
            energy += static_cast<double>(reference[i]) * static_cast<double>(reference[i]);
        }
        return 10.0 * std::log10(error / energy);
    }

    fs::path dir;
    std::vector<float> noise;
};

const std::string butterworthQ = "0.7071067811865476q";

} // namespace

TEST_F(CleanAgainstSox, LowPassAndHighPassAtPeakZeroAreButterworthSections)
{
    // Single-precision coefficients move the poles of very low cut-offs a
    // little (-75 dB at 100 Hz); from a few hundred hertz up the sections
    // agree to better than -80 dB.
    for (const float f : {300.0f, 1000.0f, 8000.0f}) {
        SCOPED_TRACE(f);
        const std::string hz = std::to_string(static_cast<int>(f));
        const auto soxLow = soxFiltered("lowpass " + hz + " " + butterworthQ);
        ASSERT_EQ(soxLow.size(), noise.size());
        EXPECT_LT(residualDb(clean(GenericFilter::lowPass, 1, f, 0.0f), soxLow), -80.0);
        const auto soxHigh = soxFiltered("highpass " + hz + " " + butterworthQ);
        EXPECT_LT(residualDb(clean(GenericFilter::highPass, 1, f, 0.0f), soxHigh), -80.0);
    }
}

TEST_F(CleanAgainstSox, SteeperSlopesCascadeIdenticalSections)
{
    const std::string section = "lowpass 2000 " + butterworthQ;
    EXPECT_LT(
        residualDb(clean(GenericFilter::lowPass, 2, 2000.0f, 0.0f), soxFiltered(section + " " + section)),
        -80.0);
    const std::string high = "highpass 300 " + butterworthQ;
    EXPECT_LT(residualDb(clean(GenericFilter::highPass, 3, 300.0f, 0.0f),
                         soxFiltered(high + " " + high + " " + high + " " + high)),
              -80.0);
}

TEST_F(CleanAgainstSox, BandPassBandwidthHalvesFromPeakZeroToOne)
{
    // sox's band-pass takes Q with alpha = sin(w0) / (2 Q).
    const double fc = 1500.0;
    const double w0 = 2.0 * std::numbers::pi * fc / 44100.0;
    for (const float p : {0.0f, 1.0f}) {
        SCOPED_TRACE(p);
        const double alpha = std::tan((1.0 - 0.5 * static_cast<double>(p)) * std::numbers::pi * fc / 44100.0);
        const std::string q = std::to_string(std::sin(w0) / (2.0 * alpha)) + "q";
        EXPECT_LT(residualDb(clean(GenericFilter::bandPass, 1, static_cast<float>(fc), p),
                             soxFiltered("bandpass 1500 " + q)),
                  -80.0);
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
}
