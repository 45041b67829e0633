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
#include <fstream>
#include <map>
#include <sstream>

using namespace effecttest;

namespace {

constexpr int rate = 48000;
constexpr int length = rate / 2;    // rendered
constexpr int kept = 4096;          // the figures: the last frames of each render
constexpr double agreement = -120.0; // dB, residual against the figures
constexpr double sameStream = -140.0; // dB, between block sizes: no difference at all

const std::string patchFile = std::string(OSTRAND_BENCH_DIR) + "/patches.txt";
const std::string casesFile = std::string(OSTRAND_BENCH_DIR) + "/lv2-cases.txt";
const std::string figureDir = OSTRAND_SOUND_FIGURES;

bool updating()
{
    return std::getenv("OSTRAND_UPDATE_REFERENCES") != nullptr;
}

std::unique_ptr<OstrandPlugin> build(const benchpatches::Patch& patch)
{
    auto p = std::make_unique<OstrandPlugin>(2, static_cast<float>(rate));
    for (const std::string& s : patch.settings)
        set(*p, s);
    p->applyQueuedChangesAtOnce();
    return p;
}

// Noise at -12 dB, different on the two sides, with a loud and a silent
// stretch so that the envelopes trigger and auto-mute closes.
std::vector<Signal> input()
{
    std::vector<Signal> in = {noise(length, 11, 0.25), noise(length, 23, 0.25)};
    for (Signal& s : in) {
        for (int i = length / 5; i < length / 4; ++i)
            s[static_cast<std::size_t>(i)] = 0.0f;
        for (int i = length / 2; i < length / 2 + length / 20; ++i)
            s[static_cast<std::size_t>(i)] *= 3.0f;
    }
    return in;
}

// The residual of b against a, in dB of a's level, over both channels.
double residualDb(const std::vector<Signal>& a, const std::vector<Signal>& b, std::size_t from)
{
    double diff = 0.0;
    double level = 0.0;
    for (std::size_t c = 0; c < a.size(); ++c)
        for (std::size_t i = from; i < a[c].size(); ++i) {
            const double d = static_cast<double>(a[c][i]) - static_cast<double>(b[c][i]);
            diff += d * d;
            level += static_cast<double>(a[c][i]) * static_cast<double>(a[c][i]);
        }
    if (diff == 0.0)
        return -INFINITY;
    return 10.0 * std::log10(diff / std::max(level, 1e-30));
}

std::vector<Signal> tail(const std::vector<Signal>& s)
{
    std::vector<Signal> t;
    for (const Signal& c : s)
        t.emplace_back(c.end() - kept, c.end());
    return t;
}

std::vector<Signal> readFigures(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<Signal> s(2, Signal(kept));
    std::vector<float> frames(2 * kept);
    in.read(reinterpret_cast<char*>(frames.data()), static_cast<std::streamsize>(frames.size() * sizeof(float)));
    if (in.gcount() != static_cast<std::streamsize>(frames.size() * sizeof(float)))
        return {};
    for (int i = 0; i < kept; ++i)
        for (int c = 0; c < 2; ++c)
            s[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] = frames[static_cast<std::size_t>(2 * i + c)];
    return s;
}

void writeFigures(const std::string& path, const std::vector<Signal>& s)
{
    std::vector<float> frames(2 * kept);
    for (int i = 0; i < kept; ++i)
        for (int c = 0; c < 2; ++c)
            frames[static_cast<std::size_t>(2 * i + c)] = s[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)];
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(frames.data()), static_cast<std::streamsize>(frames.size() * sizeof(float)));
}

} // namespace

TEST(BenchmarkPatchTest, EachPatchSoundsAsItsFiguresAtEveryBlockSize)
{
    const auto patches = benchpatches::read(patchFile);
    ASSERT_GE(patches.size(), 3u);
    const std::vector<Signal> in = input();
    for (const benchpatches::Patch& patch : patches) {
        SCOPED_TRACE(patch.id);
        auto plugin = build(patch);
        const std::vector<Signal> out = render(*plugin, in, 256);
        ASSERT_GT(rms(out[0], length - kept), 1e-3) << "the patch should be heard";
        const std::string path = figureDir + "/" + patch.id + ".f32";
        if (updating())
            writeFigures(path, tail(out));
        const std::vector<Signal> figures = readFigures(path);
        ASSERT_FALSE(figures.empty()) << "no figures in " << path;
        EXPECT_LE(residualDb(figures, tail(out), 0), agreement);

        // Segments, followers and sources run on the stream's grid, so the
        // host's blocks change nothing.
        if (patch.id != "heavy")
            continue;
        for (int block : {16, 64, 1024, 1000}) {
            SCOPED_TRACE(block);
            auto again = build(patch);
            EXPECT_LE(residualDb(out, render(*again, in, block), 0), sameStream);
        }
    }
}

// Every setting of a patch, as a port value of the stereo plug-in: the LV2
// case of the same id names exactly these ports with these values.
TEST(BenchmarkPatchTest, LV2CasesAreThePatches)
{
    const auto patches = benchpatches::read(patchFile);
    std::map<std::string, std::string> cases; // id -> "sym=val,..."
    std::ifstream in(casesFile);
    ASSERT_TRUE(in) << casesFile;
    std::string line;
    while (std::getline(in, line)) {
        line = benchpatches::trimmed(line.substr(0, line.find('#')));
        if (line.empty())
            continue;
        std::istringstream fields(line);
        std::string id, uri, controls;
        std::getline(fields, id, '|');
        std::getline(fields, uri, '|');
        std::getline(fields, controls);
        EXPECT_EQ(uri, "urn:merovance:ostrand2") << id;
        cases[id] = controls;
    }

    OstrandPlugin plugin(2, static_cast<float>(rate));
    for (const benchpatches::Patch& patch : patches) {
        SCOPED_TRACE(patch.id);
        // The later setting of a parameter wins, as in the renderer.
        std::map<std::string, float> expected;
        std::vector<std::string> order;
        for (const std::string& s : patch.settings) {
            const ParameterAssignment a = parseParameterAssignment(plugin, s);
            ASSERT_TRUE(a.ok()) << a.error;
            const std::string symbol = lv2PortSymbol(plugin.getParameter(a.index)->getName());
            if (!expected.count(symbol))
                order.push_back(symbol);
            expected[symbol] = a.plain;
        }
        std::string wanted;
        for (std::size_t k = 0; k < order.size(); ++k) {
            char digits[32];
            const auto end = std::to_chars(digits, digits + sizeof digits, expected[order[k]]).ptr;
            wanted += (k ? "," : "") + order[k] + "=" + std::string(digits, end);
        }
        const std::string hint = "expected: " + patch.id + "|urn:merovance:ostrand2|" + wanted;

        if (!cases.count(patch.id)) {
            ADD_FAILURE() << "no case " << patch.id << "\n" << hint;
            continue;
        }
        std::map<std::string, float> given;
        std::istringstream controls(cases[patch.id]);
        std::string pair;
        while (std::getline(controls, pair, ',')) {
            const auto eq = pair.find('=');
            ASSERT_NE(eq, std::string::npos) << pair;
            given[pair.substr(0, eq)] = std::stof(pair.substr(eq + 1));
        }
        ASSERT_EQ(given.size(), expected.size()) << hint;
        for (const auto& [symbol, value] : expected) {
            ASSERT_TRUE(given.count(symbol)) << symbol << "\n" << hint;
            EXPECT_NEAR(given[symbol], value, 1e-6f * std::max(1.0f, std::fabs(value))) << symbol << "\n" << hint;
        }
    }
}
