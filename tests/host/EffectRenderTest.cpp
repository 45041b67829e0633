// ostrand-render with the effect: settings from the command line, the
// parameter listing, the side chain and MIDI, checked on the files it
// writes against sox's filters, closed forms and the input itself.
#include "RenderRun.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace rendertest;

namespace {

double residualDecibels(const Audio& a, const Audio& b)
{
    double error = 0.0;
    double energy = 0.0;
    for (std::size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); ++i) {
        const double d = static_cast<double>(a.samples[i]) - static_cast<double>(b.samples[i]);
        error += d * d;
        energy += static_cast<double>(b.samples[i]) * static_cast<double>(b.samples[i]);
    }
    return 10.0 * std::log10(error / energy);
}

using EffectRender = RenderFolder;

} // namespace

TEST_F(EffectRender, ListingAndSettingsFromTheCommandLine)
{
    // Units as people write them: kilohertz, and seconds and milliseconds
    // for each other.
    Outcome r = run("--list-parameters --set 'Filter 1 Freq=1000 Hz' --set 'Routing Mode=Mid/Side' "
                    "--set 'Filter 2 Freq=2.5 kHz' --set 'Filter 2 Delay=0.012 s' --set 'EG 1 Attack=250 ms'",
                    false);
    ASSERT_EQ(r.status, 0);
    std::istringstream lines(r.output);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5) << line;
        EXPECT_EQ(line.rfind(std::to_string(count) + "\t", 0), 0u) << line;
        ++count;
    }
    EXPECT_EQ(count, 666);
    EXPECT_NE(r.output.find("\n6\tRouting Mode\t0\t2\t0\tMid/Side\n"), std::string::npos);
    EXPECT_NE(r.output.find("\n8\tFilter 1 Freq\t0\t1\t1\t1000.000 Hz\n"), std::string::npos);
    EXPECT_NE(r.output.find("\n17\tFilter 2 Freq\t0\t1\t1\t2500.000 Hz\n"), std::string::npos);
    EXPECT_NE(r.output.find("\n23\tFilter 2 Delay\t0\t1\t0\t12.000 ms\n"), std::string::npos);
    EXPECT_NE(r.output.find("\tEG 1 Attack\t0\t1\t0\t0.250 s\n"), std::string::npos);

    // Unknown names and unusable values stop with status 2 and say why.
    sox("-r 48000 -c 1 -n " + path("in.wav") + " synth 0.1 sine 440");
    struct Case {
        std::string setting, expected;
    };
    for (const Case& c : std::vector<Case>{
             {"Filter 1 Frq=0.5", "did you mean 'Filter 1 Freq'"},
             {"Filter 1 Freq=2000", "Filter 1 Freq"},
             {"Filter 1 Response=Notch", "LP, HP, BP"},
             {"Input Gain=6 Hz", "'dB'"},
             {"Filter 1 Freq=1 MHz", "'Hz' or 'kHz'"},
             {"Mix", "NAME=VALUE"},
         }) {
        r = run("--set '" + c.setting + "' " + path("in.wav") + " " + path("out.wav"));
        EXPECT_EQ(r.status, 2) << c.setting;
        EXPECT_NE(r.output.find(c.expected), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(path("out.wav")));
    }
}

TEST_F(EffectRender, CleanLowPassAtOneKilohertzMatchesSox)
{
    sox("-r 48000 -c 2 -n -e floating-point -b 32 " + path("noise.wav") + " synth 2 whitenoise gain -6");
    sox(path("noise.wav") + " -e floating-point -b 32 " + path("sox.wav") + " lowpass 1000");
    const Outcome r = run("--quiet --set 'Filter 1 Characteristic=Clean' --set 'Filter 1 Freq=1000 Hz' " +
                          path("noise.wav") + " " + path("ours.wav"));
    ASSERT_EQ(r.status, 0) << r.output;
    const Audio ours = readAudio(path("ours.wav")), reference = readAudio(path("sox.wav"));
    ASSERT_EQ(ours.samples.size(), reference.samples.size());
    EXPECT_LT(residualDecibels(ours, reference), -80.0);
}

TEST_F(EffectRender, SettingsHoldFromTheFirstSample)
{
    // A 12 ms delay behind a wide-open clean filter, and -12 dB of input
    // gain: the output is the input 576 samples later at a quarter of the
    // level, from the first sample on, with no glide from the defaults.
    sox("-r 48000 -c 1 -n -e floating-point -b 32 " + path("in.wav") + " synth 0.5 sine 200 gain -3");
    const Outcome r = run("--quiet --set 'Filter 1 Characteristic=Clean' --set 'Filter 1 Delay=12 ms' "
                          "--set 'Input Gain=-12 dB' " +
                          path("in.wav") + " " + path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.output;
    const Audio in = readAudio(path("in.wav")), out = readAudio(path("out.wav"));
    const double gain = std::pow(10.0, -12.0 / 20.0);
    for (std::size_t i = 0; i < 576; ++i)
        ASSERT_NEAR(out.at(i), 0.0f, 1e-6f) << i;
    // The filter open at 0.49 × the rate still shifts a 200 Hz sine by a
    // fraction of a sample: within 1/50 of the amplitude (0.18).
    for (std::size_t i = 576; i < out.frames(); ++i)
        ASSERT_NEAR(out.at(i), gain * static_cast<double>(in.at(i - 576)), 3.5e-3) << i;
}

TEST_F(EffectRender, SideChainFileOrTheInputItself)
{
    sox("-r 48000 -c 2 -n -e floating-point -b 32 " + path("in.wav") + " synth 0.5 sine 300 sine 500");
    sox("-r 48000 -c 1 -n -e floating-point -b 32 " + path("side.wav") + " synth 0.25 square 80 gain -6");
    sox("-r 44100 -c 1 -n " + path("other.wav") + " synth 0.25 sine 80");
    Outcome r = run("--quiet --set 'Audition Signal=Side Chain' --sidechain " + path("side.wav") + " " +
                    path("in.wav") + " " + path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.output;
    const Audio in = readAudio(path("in.wav")), side = readAudio(path("side.wav")),
                out = readAudio(path("out.wav"));
    ASSERT_EQ(out.frames(), in.frames());
    for (std::size_t i = 0; i < out.frames(); ++i) {
        // The mono side chain on both channels, silence after its end.
        const float expected = i < side.frames() ? side.at(i) : 0.0f;
        ASSERT_EQ(out.at(i, 0), expected) << i;
        ASSERT_EQ(out.at(i, 1), expected) << i;
    }
    // Without a side-chain file the input stands in.
    r = run("--quiet --set 'Audition Signal=Side Chain' " + path("in.wav") + " " + path("out2.wav"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(readAudio(path("out2.wav")).samples == in.samples);

    for (const std::string& bad : {path("other.wav"), path("missing.wav")}) {
        r = run("--sidechain " + bad + " " + path("in.wav") + " " + path("out3.wav"));
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.output.find(bad), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(path("out3.wav")));
    }
}

TEST_F(EffectRender, NoteRestartsTheStepLfoAtItsExactSample)
{
    // A square step LFO at 10 Hz (4800 samples a cycle: +1, then -1)
    // drives the output gain between -36 dB and +36 dB of a constant
    // input. A note at tick 61 (sample 3050 at 120 BPM and 480 ticks a
    // quarter) falls in the -1 half and restarts the cycle: the gain jumps
    // up exactly there, whatever the host block size.
    sox("-r 48000 -c 1 -n -e floating-point -b 32 " + path("in.wav") + " synth 0.2 sine 0 dcshift 0.01");
    using namespace std::string_literals;
    std::ofstream(path("note.mid"), std::ios::binary)
        << "MThd\0\0\0\6\0\0\0\1\x01\xE0"s + "MTrk\0\0\0\x08\x3D\x90\x3C\x64\0\xFF\x2F\0"s;
    const std::string settings =
        "--set 'Filter 1 Enabled=Disabled' --set 'Output Gain=-36 dB' --set 'Num Active XLFOs=1' "
        "--set 'XLFO 1 Frequency=10 Hz' --set 'XLFO 1 Step 1 Value=1' --set 'XLFO 1 Step 2 Value=-1' "
        "--set 'XLFO 1 MIDI Trigger=On' --set 'Num Active Slots=1' --set 'Slot 1 Source=XLFO 1' "
        "--set 'Slot 1 Target=Output Gain' --set 'Slot 1 Level=1' ";
    for (int block : {512, 1000, 64}) {
        const Outcome r = run("--quiet --block " + std::to_string(block) + " " + settings + "--midi " +
                              path("note.mid") + " " + path("in.wav") + " " + path("out.wav"));
        ASSERT_EQ(r.status, 0) << r.output;
        const Audio out = readAudio(path("out.wav"));
        const float low = 0.01f * 0.0158489f, high = 0.01f * 63.0957f;
        EXPECT_NEAR(out.at(0), high, 1e-4f);
        EXPECT_NEAR(out.at(2300), high, 1e-4f);
        EXPECT_NEAR(out.at(2500), low, 1e-5f);
        EXPECT_NEAR(out.at(3049), low, 1e-5f) << "block " << block;
        EXPECT_NEAR(out.at(3050), high, 1e-4f) << "block " << block;
        EXPECT_NEAR(out.at(3050 + 2300), high, 1e-4f);
        EXPECT_NEAR(out.at(3050 + 2500), low, 1e-5f);
    }

    // A MIDI source set up from the command line: the note's velocity
    // (100 of 127: 2 × 100/127 - 1) opens the output gain by half the
    // gain span.
    const std::string velocity =
        "--set 'Filter 1 Enabled=Disabled' --set 'Output Gain=-36 dB' --set 'Num Active MIDI Sources=1' "
        "--set 'MIDI Source 1 Input=Velocity' --set 'Num Active Slots=1' --set 'Slot 1 Source=MIDI Source 1' "
        "--set 'Slot 1 Target=Output Gain' --set 'Slot 1 Level=0.5' ";
    const Outcome r = run("--quiet " + velocity + "--midi " + path("note.mid") + " " + path("in.wav") + " " +
                          path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.output;
    const Audio out = readAudio(path("out.wav"));
    const double span = std::exp(4.144653167389283) - std::exp(-4.144653167389283);
    const double opened = std::exp(-4.144653167389283) + (2.0 * 100.0 / 127.0 - 1.0) * 0.5 * span;
    EXPECT_NEAR(out.at(3000), 0.01 * std::exp(-4.144653167389283), 1e-6);
    EXPECT_NEAR(out.at(3050 + 2000), 0.01 * opened, 1e-4);
}

TEST_F(EffectRender, PresetsFromTheCommandLine)
{
    const std::string settings = "--set 'Mix=40' --set 'Filter 1 Freq=700 Hz' --set 'Num Active Slots=1' "
                                 "--set 'Slot 1 Source=EG 1' --set 'Slot 1 Target=Filter 1 Peak' --set 'EG 1 Attack=0.3 s' ";
    // Saving alone renders nothing; loading what was saved reproduces every
    // parameter.
    Outcome r = run("--quiet --save-preset " + path("mine.mvp") + " " + settings);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(fs::file_size(path("mine.mvp")), 2676u);
    EXPECT_EQ(files(), std::vector<std::string>{"mine.mvp"});
    const Outcome expected = run("--list-parameters " + settings);
    EXPECT_EQ(run("--list-parameters --preset " + path("mine.mvp")).output, expected.output);

    // A factory preset by name, then --set on top of it.
    r = run("--list-parameters --preset 'Dubstep Wobble' --set 'Mix=50'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("\tFilter 1 Characteristic\t0\t10\t6\tRaw\n"), std::string::npos);
    EXPECT_NE(r.output.find("\tMix\t0\t100\t100\t50.000 %\n"), std::string::npos);
    // One of the first generation, converted.
    r = run("--list-parameters --preset 'Acid Line'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("\tSlot 1 Source\t0\t26\t0\tXLFO 1\n"), std::string::npos);

    // The list: bank/program order, factory and own presets alike.
    r = run("--list-presets");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output.rfind("(0/0) ", 0), 0u);
    EXPECT_NE(r.output.find("\tGetting Started\t"), std::string::npos);
    EXPECT_NE(r.output.find(") Dubstep Wobble\tTempo Sync\t"), std::string::npos);
    EXPECT_GE(std::count(r.output.begin(), r.output.end(), '\n'), 71);

    // A preset that does not load stops everything with one line naming it.
    std::ofstream(path("junk.mvp")) << "MO2l but not a preset";
    sox("-n -r 48000 -c 1 " + path("in.wav") + " synth 0.1 sine 440");
    for (const std::string& preset : {path("junk.mvp"), std::string("'No Such Preset'")}) {
        r = run("--preset " + preset + " " + path("in.wav") + " " + path("out.wav"));
        EXPECT_EQ(r.status, 2) << preset;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
        EXPECT_NE(r.output.find(preset == path("junk.mvp") ? "junk.mvp" : "No Such Preset"), std::string::npos);
        EXPECT_FALSE(fs::exists(path("out.wav")));
    }
}
