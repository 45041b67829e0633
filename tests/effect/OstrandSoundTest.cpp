// The effect where people push a saturating filter, through process as a
// host calls it, each check measured independently of the filter's code:
// the sign at a sine's peaks, the largest sample, the mean, the spectrum.
#include "EffectHarness.h"
#include "Spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace effecttest;

namespace {

const std::vector<std::string> characteristics = {"Merovance One", "Smooth", "Raw",   "Hard",  "Hollow",    "Extreme",
                                                  "Gentle",        "Tube",   "Metal", "Easy Going", "Clean"};
constexpr int tableCharacteristics = 10;  // the first ten; "Clean" is the linear one

Signal renderWith(const std::vector<std::string>& settings, const Signal& in, int block = 512)
{
    return render(*effect(1, settings), {in}, block)[0];
}

std::string characteristic(int c) { return "Filter 1 Characteristic=" + characteristics[static_cast<std::size_t>(c)]; }

double decibels(double x) { return 20.0 * std::log10(x); }

}  // namespace

// A loud sine driven far past the clip curve's table saturates: at the
// input's positive peaks the output is positive, at its negative peaks
// negative. (The curve's look-up used to wrap past the table's end and
// turn the peaks of a 100 Hz sine at +20 dB through Metal over.)
TEST(OstrandSound, LoudSinesKeepTheirSignAtTheirPeaks)
{
    const Signal in = sine(9600, 100.0, 1.0);
    for (int c = 0; c <= tableCharacteristics; ++c) {
        for (const char* gain : {"Input Gain=20 dB", "Input Gain=36 dB"}) {
            const Signal out = renderWith({characteristic(c), gain}, in);
            for (std::size_t i = 4800; i < in.size(); ++i) {
                if (std::fabs(in[i]) > 0.999f) {
                    ASSERT_GT(out[i] * in[i], 0.0f) << characteristics[static_cast<std::size_t>(c)] << ", " << gain;
                }
            }
        }
    }
}

// Full-scale white noise at Peak 1. The clean filter resonates in its
// first section only, so its peak stays near the 12 dB slope's at 24 and
// 48 dB (its sections used to multiply their resonance: +40 and +106
// dBFS). The table characteristics are bounded by their loop: their true
// peak (between the samples too) stays below +11 dBFS; it was up to +12.5
// with the clip curve's aliases. (Their sample peak can rise by 1 to 2 dB:
// the band-limited output's phase near 20 kHz brings the crests of a
// resonance at the top of the band onto samples that used to miss them.)
TEST(OstrandSound, ResonantFiltersStayBoundedOnFullScaleNoise)
{
    const Signal in = noise(40000, 11, 1.0);
    for (const char* freq : {"Filter 1 Freq=0.5", "Filter 1 Freq=1"}) {
        for (const char* slope : {"Filter 1 Slope=24", "Filter 1 Slope=48"}) {
            const Signal out = renderWith({characteristic(tableCharacteristics), "Filter 1 Peak=1", freq, slope}, in);
            double largest = 0.0;
            for (float v : out)
                largest = std::max(largest, static_cast<double>(std::fabs(v)));
            EXPECT_LE(decibels(largest), 12.0) << freq << ", " << slope;
        }
        for (int c = 0; c < tableCharacteristics; ++c) {
            const Signal out = renderWith({characteristic(c), "Filter 1 Peak=1", freq, "Filter 1 Slope=24"}, in);
            EXPECT_LE(decibels(spectrum::truePeak(out, 4800, 32768)), 11.0)
                << characteristics[static_cast<std::size_t>(c)] << ", " << freq;
        }
    }
}

// Full-scale noise at the corner (highest cut-off, Peak 1): one-sided clip
// curves rectified it into up to +1.1 of DC; the output's mean now stays
// below 0.01 for every characteristic and slope.
TEST(OstrandSound, NoDirectCurrentFromOneSidedCurves)
{
    const Signal in = noise(36000, 5, 1.0);
    for (int c = 0; c <= tableCharacteristics; ++c) {
        for (const char* slope : {"Filter 1 Slope=12", "Filter 1 Slope=48"}) {
            const Signal out = renderWith({characteristic(c), "Filter 1 Peak=1", "Filter 1 Freq=1", slope}, in);
            double sum = 0.0;
            for (std::size_t i = 12000; i < out.size(); ++i)
                sum += static_cast<double>(out[i]);
            EXPECT_LT(std::fabs(sum / static_cast<double>(out.size() - 12000)), 0.01)
                << characteristics[static_cast<std::size_t>(c)] << ", " << slope;
        }
    }
}

// A full-scale 7 kHz or 11 kHz sine at +12 dB input gain drives every clip
// curve hard. What it adds above half the rate must not fold back: the
// strongest component that is not a harmonic (nor DC) stays 50 dB (7 kHz)
// or 40 dB (11 kHz) below the fundamental. At the base rate it folded back
// at -10 to -48 dB.
TEST(OstrandSound, OvertonesDoNotFoldBack)
{
    const std::size_t n = 16384;
    const double rate = 48000.0;
    const double bin = rate / static_cast<double>(n);
    for (const double hz : {7000.0, 11000.0}) {
        const Signal in = sine(static_cast<int>(4800 + n), hz, 1.0, rate);
        for (int c = 0; c < tableCharacteristics; ++c) {
            const Signal out = renderWith({characteristic(c), "Input Gain=12 dB"}, in);
            const std::vector<double> m = spectrum::amplitudes(out, 4800, n);
            double fundamental = 0.0;
            double folded = 0.0;
            double where = 0.0;
            for (std::size_t k = 8; k < m.size(); ++k) {
                const double f = static_cast<double>(k) * bin;
                const double harmonic = std::round(f / hz);
                if (harmonic >= 1.0 && std::fabs(f - harmonic * hz) <= 8.0 * bin) {
                    if (harmonic == 1.0)
                        fundamental = std::max(fundamental, m[k]);
                    continue;
                }
                if (m[k] > folded) {
                    folded = m[k];
                    where = f;
                }
            }
            EXPECT_LE(decibels(folded / fundamental), hz < 10000.0 ? -50.0 : -40.0)
                << characteristics[static_cast<std::size_t>(c)] << " at " << hz << " Hz, strongest at " << where;
        }
    }
}

// The clean filter designs on the stream's grid as well (the benchmark
// patches check the table filters, the followers and the sources): with a
// step LFO on its cut-off it renders the same at every host block size.
TEST(OstrandSound, AModulatedCleanFilterIsTheSameAtEveryHostBlockSize)
{
    const Signal in = noise(24000, 3, 0.5);
    const std::vector<std::string> settings = {
        "Filter 1 Characteristic=Clean", "Filter 1 Peak=0.7", "Filter 1 Freq=1000 Hz", "Num Active XLFOs=1",
        "XLFO 1 Frequency=3 Hz",         "XLFO 1 Step 1 Value=1", "XLFO 1 Step 1 Glide=1", "Num Active Slots=1",
        "Slot 1 Source=XLFO 1",          "Slot 1 Target=Filter 1 Freq", "Slot 1 Level=0.3"};
    const Signal reference = renderWith(settings, in, 512);
    for (const int block : {1, 17, 8192})
        EXPECT_LT(maxDifference(renderWith(settings, in, block), reference), 1e-6 * rms(reference)) << block;
}
