// Runs ostrand-render as a user would and checks the files it leaves behind:
// pass-through, failures, the demo, MIDI files, settings from the command
// line, the parameter listing, the side chain and presets. Input files are
// made by sox, and the results are checked against sox's filters, closed
// forms and the input itself.
#include "RenderRun.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

using namespace rendertest;

namespace {

using RenderCommand = RenderFolder;
using EffectRender = RenderFolder;

double residualDecibels(const Audio& a, const Audio& b)
{
    double error = 0.0, energy = 0.0;
    for (std::size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); ++i) {
        const double d = static_cast<double>(a.samples[i]) - static_cast<double>(b.samples[i]);
        error += d * d;
        energy += static_cast<double>(b.samples[i]) * static_cast<double>(b.samples[i]);
    }
    return 10.0 * std::log10(error / energy);
}

} // namespace

TEST_F(RenderCommand, PassThroughReturnsTheInputSampleForSample)
{
    // Lengths around the plug-in's 1024-sample sub-blocks, block sizes from
    // single samples to host blocks the plug-in must split; a mono FLAC file
    // keeps its rate and its channel.
    for (int length : {1, 1023, 12345}) {
        const bool mono = length == 1023;
        const std::string in = path("in" + std::to_string(length) + (mono ? ".flac" : ".wav"));
        sox((mono ? "-r 22050 -c 1 -n -b 16 " : "-r 44100 -c 2 -n -b 24 ") + in + " synth " +
            std::to_string(length) + "s sine 300-2000 pinknoise gain -2");
        const Audio source = readAudio(in);
        for (int block : {1, 3, 512, 1024, 3000}) { // the mix at 0 hands the input on untouched
            const std::string quiet = block == 3000 ? "--quiet " : "";
            const Outcome r = run(quiet + "--set Mix=0 --block " + std::to_string(block) + " " + in + " -o " +
                                  path("o.wav"));
            ASSERT_EQ(r.status, 0) << r.output;
            const std::string summary =
                mono ? "0.05 s, mono, 22050" : length == 1 ? "0.00 s, stereo, 44100" : "0.28 s, stereo, 44100";
            EXPECT_EQ(r.output, quiet.empty() ? "wrote " + path("o.wav") + " (" + in + ", " + summary + " Hz)\n" : "");
            const Audio result = readAudio(path("o.wav"));
            EXPECT_EQ(result.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
            EXPECT_TRUE(result.sampleRate == source.sampleRate && result.channels == (mono ? 1 : 2) &&
                        result.samples == source.samples)
                << "length " << length << " block " << block;
        }
    }
}

// Whatever stops a render (files, side chains, presets, MIDI files,
// settings) stops it before anything is written, with status 2 and one line
// naming the file or the reason.
TEST_F(RenderCommand, FailuresExitWithTwoNameTheFileAndLeaveNothing)
{
    std::ofstream(path("notaudio.wav")) << "this is not a sound file\n";
    std::ofstream(path("keep.wav")) << "previous result";
    std::ofstream(path("junk.mvp")) << "MO2l but not a preset";
    using namespace std::string_literals;
    std::ofstream(path("cut.mid"), std::ios::binary) << "MThd\0\0\0\6\0\0\0\1\x01\xE0MTrk\0\0\0\x20\0\x90\x3C\x64"s;
    sox("-r 48000 -c 3 -n " + path("three.wav") + " synth 100s sine 440");
    sox("-r 48000 -c 1 -n " + path("ok.wav") + " synth 100s sine 440");
    sox("-r 44100 -c 1 -n " + path("other.wav") + " synth 100s sine 80");
    sox("-r 48000 -c 2 -n " + path("long.wav") + " synth 2 sine 440");
    std::ofstream(path("big.mid")).seekp(32 << 20) << '\0'; // a hole: no disk space taken
    const std::vector<std::string> before = files();

    struct Case {
        std::string arguments, named;
    };
    const std::string render = path("ok.wav") + " " + path("out.wav");
    for (const Case& c : std::vector<Case>{
             {path("missing.wav") + " " + path("keep.wav"), "missing.wav"},
             {path("notaudio.wav") + " " + path("keep.wav"), "notaudio.wav"},
             {path("three.wav") + " " + path("keep.wav"), "three.wav"},
             {path("ok.wav") + " " + path("no/such/dir/out.wav"), "no/such/dir/out.wav"},
             {path("ok.wav") + " " + path("notaudio.wav/out.wav"), "notaudio.wav/out.wav"},
             {path("ok.wav") + " " + dir.string(), dir.string()},
             {"-o " + path("no/such/dir/demo.wav"), "no/such/dir/demo.wav"},
             {dir.string() + " " + path("keep.wav"), "Is a directory"},
             {path("ok.wav") + " " + path("ok.wav"), "it is the input file"},
             {"--sidechain " + path("three.wav") + " " + path("ok.wav") + " " + path("keep.wav"), "three.wav"},
             {"--save-preset " + path("no/such/dir/mine.mvp"), "cannot write preset"},
             {"--sidechain " + path("other.wav") + " " + render, "other.wav"},
             {"--sidechain " + path("missing.wav") + " " + render, "missing.wav"},
             {"--preset " + path("junk.mvp") + " " + render, "junk.mvp"},
             {"--preset 'No Such Preset' " + render, "No Such Preset"},
             {"--midi " + path("cut.mid") + " " + render, "cannot read MIDI file '" + path("cut.mid") + "': "},
             {"--midi " + path("missing.mid") + " " + render, path("missing.mid") + "': No such file"},
             {"--midi " + dir.string() + " " + render, "it is not a regular file"},
             {"--midi " + path("big.mid") + " " + render, "it is larger than 32 MiB"},
             {"--midi " + path("ok.wav") + " " + render, "not a Standard MIDI File"},
             // Unknown names and unusable values say why.
             {"--set 'Filter 1 Frq=0.5' " + render, "did you mean 'Filter 1 Freq'"},
             {"--set 'Filter 1 Freq=2000' " + render, "Filter 1 Freq"},
             {"--set 'Filter 1 Response=Notch' " + render, "LP, HP, BP"},
             {"--set 'Input Gain=6 Hz' " + render, "'dB'"},
             {"--set 'Filter 1 Freq=1 MHz' " + render, "'Hz' or 'kHz'"},
         }) {
        const Outcome r = run(c.arguments);
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_NE(r.output.find(c.named), std::string::npos) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    }
    // A disk that fills up during the render (a file size limit here):
    // the partial file goes too.
    const Outcome full = testsupport::runCommand("trap '' XFSZ; ulimit -f 64; " + std::string(OSTRAND_RENDER) +
                                                 " " + path("long.wav") + " " + path("out.wav"));
    EXPECT_EQ(full.status, 2) << full.output;
    EXPECT_NE(full.output.find("cannot write '" + path("out.wav") + "'"), std::string::npos) << full.output;
    EXPECT_EQ(files(), before); // no output, no temporary file left
    std::ifstream kept(path("keep.wav"));
    std::string content;
    std::getline(kept, content);
    EXPECT_EQ(content, "previous result");

    EXPECT_EQ(run("--block 0 " + path("ok.wav")).status, 2);
    const Outcome help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Usage: ostrand-render"), std::string::npos);
}

TEST_F(RenderCommand, DemoIsAStereoPatternThatNeverClips)
{
    const Outcome rendered = run("--quiet --block 700 -o " + path("demo.wav"));
    ASSERT_EQ(rendered.status, 0) << rendered.output;
    const Audio demo = readAudio(path("demo.wav"));
    ASSERT_EQ(demo.channels, 2);
    const double seconds = static_cast<double>(demo.frames()) / demo.sampleRate;
    EXPECT_TRUE(seconds > 7.0 && seconds < 10.0) << seconds;
    // Sound all the way through (no half-second of the pattern is silent)
    // and the two channels differ; finite, never near clipping.
    const std::size_t window = static_cast<std::size_t>(demo.sampleRate / 2);
    double peak = 0.0, energy = 0.0, sideEnergy = 0.0, windowEnergy = 0.0;
    for (std::size_t i = 0; i < demo.frames(); ++i) {
        const double l = demo.at(i, 0), r = demo.at(i, 1);
        ASSERT_TRUE(std::isfinite(l) && std::isfinite(r)) << "frame " << i;
        peak = std::max({peak, std::fabs(l), std::fabs(r)});
        energy += l * l + r * r;
        windowEnergy += l * l + r * r;
        sideEnergy += (l - r) * (l - r);
        if ((i + 1) % window == 0 && i + 4800 < demo.frames()) {
            EXPECT_GT(std::sqrt(windowEnergy / (2.0 * window)), 0.01) << "at " << i / demo.sampleRate << " s";
            windowEnergy = 0.0;
        }
    }
    EXPECT_TRUE(peak > 0.3 && peak < 0.9) << peak;
    EXPECT_GT(std::sqrt(energy / static_cast<double>(demo.samples.size())), 0.03);
    EXPECT_GT(sideEnergy, 1e-3 * energy);
}

// A MIDI file rides along without touching the pass-through audio, at its
// own tempo or the one given. (Files it cannot read are failures above.)
TEST_F(RenderCommand, MidiFilesPlayAlongAtTheirTempo)
{
    sox("-r 48000 -c 2 -n -b 24 " + path("in.wav") + " synth 4800s sine 440 gain -3");
    auto write = [this](const std::string& name, const std::string& bytes) {
        std::ofstream(path(name), std::ios::binary) << bytes;
    };
    using namespace std::string_literals;
    const std::string head = "MThd\0\0\0\6\0\0\0\1\x01\xE0"s;
    // 480 ticks a quarter. A note from tick 0 to 96: at 120 BPM the end
    // falls on sample 4800, just past the audio; at 240 BPM on 2400. The
    // same note with a tempo change to 60 BPM ends at tick 48, sample 4800.
    write("song.mid", head + "MTrk\0\0\0\x0C\0\x90\x3C\x64\x60\x80\x3C\0\0\xFF\x2F\0"s);
    write("tempo.mid",
          head + "MTrk\0\0\0\x13\0\xFF\x51\3\x0F\x42\x40\0\x90\x3C\x64\x30\x80\x3C\0\0\xFF\x2F\0"s);

    Outcome r = run(path("in.wav") + " " + path("out.wav") + " --set Mix=0 --midi " + path("song.mid"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("played 1 of the 2 MIDI events"), std::string::npos) << r.output;
    EXPECT_TRUE(readAudio(path("out.wav")).samples == readAudio(path("in.wav")).samples);
    r = run(path("in.wav") + " " + path("out.wav") + " --tempo 240 --midi " + path("song.mid"));
    EXPECT_NE(r.output.find("played 2 of the 2"), std::string::npos) << r.output;
    r = run(path("in.wav") + " " + path("out2.wav") + " --tempo 240 --midi " + path("tempo.mid"));
    EXPECT_NE(r.output.find("--tempo is ignored"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("played 1 of the 2"), std::string::npos) << r.output;
}

// The renderer runs the effect at the input file's rate: the corner stays
// at 1 kHz at every rate.
TEST_F(EffectRender, CleanLowPassAtOneKilohertzMatchesSoxAtEveryRate)
{
    for (const std::string rate : {"44100", "48000", "96000"}) {
        sox("-r " + rate + " -c 2 -n -e floating-point -b 32 " + path("noise.wav") + " synth 1 whitenoise gain -6");
        sox(path("noise.wav") + " -e floating-point -b 32 " + path("sox.wav") + " lowpass 1000");
        const Outcome r = run("--quiet --set 'Filter 1 Characteristic=Clean' --set 'Filter 1 Freq=1000 Hz' " +
                              path("noise.wav") + " " + path("ours.wav"));
        ASSERT_EQ(r.status, 0) << r.output;
        const Audio ours = readAudio(path("ours.wav")), reference = readAudio(path("sox.wav"));
        ASSERT_EQ(ours.samples.size(), reference.samples.size());
        EXPECT_EQ(ours.sampleRate, std::stoi(rate));
        EXPECT_LT(residualDecibels(ours, reference), -80.0) << rate;
    }
}

TEST_F(EffectRender, SideChainFileOrTheInputItself)
{
    sox("-r 48000 -c 2 -n -e floating-point -b 32 " + path("in.wav") + " synth 0.5 sine 300 sine 500");
    sox("-r 48000 -c 1 -n -e floating-point -b 32 " + path("side.wav") + " synth 0.25 square 80 gain -6");
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
}

TEST_F(EffectRender, PresetsFromTheCommandLine)
{
    // Units as people write them: kilohertz, and seconds and milliseconds
    // for each other.
    const std::string settings = "--set 'Mix=40' --set 'Filter 1 Freq=0.7 kHz' --set 'Num Active Slots=1' "
                                 "--set 'Slot 1 Source=EG 1' --set 'Slot 1 Target=Filter 1 Peak' --set 'EG 1 Attack=300 ms' "
                                 "--set 'Filter 1 Delay=0.012 s' ";
    // Saving alone renders nothing; loading what was saved reproduces every
    // parameter.
    Outcome r = run("--quiet --save-preset " + path("mine.mvp") + " " + settings);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(fs::file_size(path("mine.mvp")), 2676u);
    EXPECT_EQ(files(), std::vector<std::string>{"mine.mvp"});
    const Outcome expected = run("--list-parameters " + settings);
    EXPECT_EQ(run("--list-parameters --preset " + path("mine.mvp")).output, expected.output);
    for (const char* line : {"\tFilter 1 Freq\t0\t1\t1\t700.000 Hz\n", "\tEG 1 Attack\t0\t1\t0\t0.300 s\n",
                             "\tFilter 1 Delay\t0\t1\t0\t12.000 ms\n"})
        EXPECT_NE(expected.output.find(line), std::string::npos) << line;

    // A factory preset by name, then --set on top of it.
    r = run("--list-parameters --preset 'Dubstep Wobble' --set 'Mix=50'");
    ASSERT_EQ(r.status, 0) << r.output;
    // A line per parameter: index, name, range, default and value.
    EXPECT_NE(r.output.find("\n11\tFilter 1 Characteristic\t0\t10\t6\tRaw\n"), std::string::npos);
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
}
