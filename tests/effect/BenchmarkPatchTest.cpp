// The patches the speed benchmarks time (bench/patches.txt) keep their
// sound: whatever makes the effect faster must leave each patch's output
// within -120 dB of its stored figures, and the host's block size must not
// change it at all. The resonant stages amplify float rounding: merely
// writing one pass of the filter as b + (f u - f (q b + l)) instead of
// b + f (u - q b - l) moves the heavy patch by -106 dB. So a rewrite that
// reorders the arithmetic counts as a change of the sound here, to be
// listened to and argued before the figures are renewed; a rewrite that
// keeps every operation (packing lanes differently, wider registers) keeps
// the samples bit for bit and passes. And the LV2 cases that compare.sh
// runs (bench/lv2-cases.txt) are the same patches, port by port.
//
// A deliberate change of the sound renews the figures:
//   OSTRAND_UPDATE_REFERENCES=1 build/bin/effect_benchmark_patch_tests
// (raw 32-bit float, stereo interleaved, 48 kHz: sox -t f32 -r 48000 -c 2 FILE out.wav).
#include "EffectHarness.h"

#include "../../bench/BenchmarkPatches.h"
#include "host/lv2/Lv2PortLayout.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

using namespace effecttest;

namespace {

constexpr int rate = 48000;
constexpr int length = rate / 2;      // rendered
constexpr int kept = 4096;            // the figures: the last frames of each render
constexpr double agreement = -120.0;  // dB, residual against the figures
constexpr double sameStream = -140.0; // dB, between block sizes: no difference at all

std::vector<benchpatches::Patch> patches()
{
    return benchpatches::read(std::string(OSTRAND_BENCH_DIR) + "/patches.txt");
}

// Noise at -12 dB, different on the two sides, with a loud and a silent
// stretch so that the envelopes trigger and auto-mute closes.
std::vector<Signal> input()
{
    std::vector<Signal> in = {noise(length, 11, 0.25), noise(length, 23, 0.25)};
    for (Signal& s : in) {
        std::fill(s.begin() + length / 5, s.begin() + length / 4, 0.0f);
        for (int i = length / 2; i < length / 2 + length / 20; ++i)
            s[static_cast<std::size_t>(i)] *= 3.0f;
    }
    return in;
}

// The patch rendered in host blocks of `block` frames, interleaved.
Signal interleaved(const benchpatches::Patch& patch, int block)
{
    const std::vector<Signal> out = render(*effect(2, patch.settings), input(), block);
    Signal frames;
    for (std::size_t i = 0; i < out[0].size(); ++i)
        frames.insert(frames.end(), {out[0][i], out[1][i]});
    return frames;
}

// The residual of b against a, in dB of a's level.
double residualDb(const Signal& a, const Signal& b)
{
    double diff = 0.0, level = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        diff += d * d;
        level += static_cast<double>(a[i]) * static_cast<double>(a[i]);
    }
    return diff == 0.0 ? -HUGE_VAL : 10.0 * std::log10(diff / std::max(level, 1e-30));
}

} // namespace

// Segments, followers and sources run on the stream's grid, so the host's
// blocks (one frame, odd sizes, more than the graph's largest) change nothing.
TEST(BenchmarkPatchTest, EachPatchSoundsAsItsFiguresAtEveryBlockSize)
{
    ASSERT_GE(patches().size(), 3u);
    for (const benchpatches::Patch& patch : patches()) {
        SCOPED_TRACE(patch.id);
        const Signal whole = interleaved(patch, 256);
        const Signal out(whole.end() - 2 * kept, whole.end());
        ASSERT_GT(rms(out), 1e-3) << "the patch should be heard";
        const std::string path = std::string(OSTRAND_SOUND_FIGURES) + "/" + patch.id + ".f32";
        if (std::getenv("OSTRAND_UPDATE_REFERENCES"))
            testsupport::writeFile(path, std::string(reinterpret_cast<const char*>(out.data()), out.size() * 4));
        const std::string bytes = testsupport::readFile(path);
        ASSERT_EQ(bytes.size(), out.size() * 4) << "no figures in " << path;
        Signal figures(out.size());
        std::memcpy(figures.data(), bytes.data(), bytes.size());
        EXPECT_LE(residualDb(figures, out), agreement);
        for (int block : {1, 17, 1000, 8192})
            EXPECT_LE(residualDb(whole, interleaved(patch, block)), sameStream) << "block " << block;
    }
}

// Every setting of a patch, as a port value of the stereo plug-in (the later
// setting of a parameter wins, as in the renderer): the LV2 case of the same
// id names exactly these ports with these values, in this order.
TEST(BenchmarkPatchTest, LV2CasesAreThePatches)
{
    std::map<std::string, std::string> cases; // id -> "uri|sym=val,..."
    std::ifstream in(std::string(OSTRAND_BENCH_DIR) + "/lv2-cases.txt");
    ASSERT_TRUE(in);
    for (std::string line; std::getline(in, line);) {
        line = benchpatches::trimmed(line.substr(0, line.find('#')));
        if (!line.empty())
            cases[line.substr(0, line.find('|'))] = line.substr(line.find('|') + 1);
    }
    OstrandPlugin plugin(2, static_cast<float>(rate));
    for (const benchpatches::Patch& patch : patches()) {
        std::map<std::string, float> values;
        std::vector<std::string> order;
        for (const std::string& s : patch.settings) {
            const ParameterAssignment a = parseParameterAssignment(plugin, s);
            ASSERT_TRUE(a.ok()) << a.error;
            const std::string symbol = lv2PortSymbol(plugin.getParameter(a.index)->getName());
            if (!values.count(symbol))
                order.push_back(symbol);
            values[symbol] = a.plain;
        }
        std::string wanted = "urn:merovance:ostrand2|";
        for (std::size_t k = 0; k < order.size(); ++k) {
            char digits[32];
            const auto end = std::to_chars(digits, digits + sizeof digits, values[order[k]]).ptr;
            wanted += (k ? "," : "") + order[k] + "=" + std::string(digits, end);
        }
        EXPECT_EQ(cases[patch.id], wanted) << "expected: " << patch.id << "|" << wanted;
    }
}
