// Runs ostrand-render as a user would and checks the files it leaves behind.
// Input files are made by sox, so the reference does not come from our code.
#include "RenderRun.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

using namespace rendertest;

namespace {

using RenderCommand = RenderFolder;

} // namespace

TEST_F(RenderCommand, PassThroughReturnsTheInputSampleForSample)
{
    // Lengths around the plug-in's 1024-sample sub-blocks, block sizes from
    // single samples to host blocks the plug-in must split.
    for (int length : {1, 1023, 12345}) {
        const std::string in = path("in" + std::to_string(length) + ".wav");
        sox("-r 44100 -c 2 -n -b 24 " + in + " synth " + std::to_string(length) +
            "s sine 300-2000 pinknoise gain -2");
        const Audio source = readAudio(in);
        ASSERT_EQ(source.frames(), static_cast<std::size_t>(length));
        for (int block : {1, 3, 512, 1024, 3000}) {
            const std::string out = path("out.wav");
            // With the mix at 0 the effect hands its input on untouched.
            const Outcome r =
                run("--quiet --set Mix=0 --block " + std::to_string(block) + " " + in + " " + out);
            ASSERT_EQ(r.status, 0) << r.output;
            EXPECT_TRUE(r.output.empty()) << r.output;
            const Audio result = readAudio(out);
            EXPECT_EQ(result.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
            EXPECT_EQ(result.sampleRate, 44100);
            EXPECT_EQ(result.channels, 2);
            ASSERT_EQ(result.samples.size(), source.samples.size())
                << "length " << length << " block " << block;
            EXPECT_TRUE(result.samples == source.samples) << "length " << length << " block " << block;
        }
    }
}

TEST_F(RenderCommand, MonoKeepsItsRateAndChannel)
{
    sox("-r 22050 -c 1 -n -b 16 " + path("mono.flac") + " synth 777s sine 1000 gain -6");
    const Outcome r = run(path("mono.flac") + " --set 'Mix=0 %' -o " + path("mono.wav"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("mono.wav"), std::string::npos); // the summary names the file
    const Audio source = readAudio(path("mono.flac")), result = readAudio(path("mono.wav"));
    EXPECT_EQ(result.channels, 1);
    EXPECT_EQ(result.sampleRate, 22050);
    EXPECT_TRUE(result.samples == source.samples);
}

TEST_F(RenderCommand, FailuresExitWithTwoNameTheFileAndLeaveNothing)
{
    std::ofstream(path("notaudio.wav")) << "this is not a sound file\n";
    std::ofstream(path("keep.wav")) << "previous result";
    sox("-r 48000 -c 3 -n " + path("three.wav") + " synth 100s sine 440");
    sox("-r 48000 -c 1 -n " + path("ok.wav") + " synth 100s sine 440");
    const std::vector<std::string> before = files();

    struct Case {
        std::string arguments, named;
    };
    for (const Case& c : std::vector<Case>{
             {path("missing.wav") + " " + path("keep.wav"), "missing.wav"},
             {path("notaudio.wav") + " " + path("keep.wav"), "notaudio.wav"},
             {path("three.wav") + " " + path("keep.wav"), "three.wav"},
             {path("ok.wav") + " " + path("no/such/dir/out.wav"), "no/such/dir/out.wav"},
             {path("ok.wav") + " " + path("notaudio.wav/out.wav"), "notaudio.wav/out.wav"},
             {path("ok.wav") + " " + dir.string(), dir.string()},
             {"-o " + path("no/such/dir/demo.wav"), "no/such/dir/demo.wav"},
         }) {
        const Outcome r = run(c.arguments);
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_NE(r.output.find(c.named), std::string::npos) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    }
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
    EXPECT_GT(seconds, 7.0);
    EXPECT_LT(seconds, 10.0);

    double peak = 0.0, energy = 0.0, sideEnergy = 0.0;
    for (std::size_t i = 0; i + 1 < demo.samples.size(); i += 2) {
        const double l = demo.samples[i], r = demo.samples[i + 1];
        ASSERT_TRUE(std::isfinite(l) && std::isfinite(r)) << "frame " << i / 2;
        peak = std::max({peak, std::fabs(l), std::fabs(r)});
        energy += l * l + r * r;
        sideEnergy += (l - r) * (l - r);
    }
    const double rms = std::sqrt(energy / static_cast<double>(demo.samples.size()));
    EXPECT_LT(peak, 0.9);
    EXPECT_GT(peak, 0.3);
    EXPECT_GT(rms, 0.03);
    EXPECT_GT(sideEnergy, 1e-3 * energy); // the two channels differ

    // Sound all the way through: no half-second of the pattern is silent.
    const std::size_t window = static_cast<std::size_t>(demo.sampleRate / 2) * 2;
    for (std::size_t start = 0; start + window <= demo.samples.size() - 2 * 4800; start += window) {
        double e = 0.0;
        for (std::size_t i = start; i < start + window; ++i)
            e += static_cast<double>(demo.samples[i]) * static_cast<double>(demo.samples[i]);
        EXPECT_GT(std::sqrt(e / static_cast<double>(window)), 0.01)
            << "at " << start / 2 / demo.sampleRate << " s";
    }
}

// A MIDI file rides along without touching the pass-through audio; a file
// that cannot be read stops the render before anything is written, naming
// the file and the reason.
TEST_F(RenderCommand, MidiFilesPlayAlongOrStopTheRenderWithTheReason)
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
    write("cut.mid", head + "MTrk\0\0\0\x20\0\x90\x3C\x64"s);

    Outcome r = run(path("in.wav") + " " + path("out.wav") + " --set Mix=0 --midi " + path("song.mid"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("played 1 of the 2 MIDI events"), std::string::npos) << r.output;
    EXPECT_TRUE(readAudio(path("out.wav")).samples == readAudio(path("in.wav")).samples);
    r = run(path("in.wav") + " " + path("out.wav") + " --tempo 240 --midi " + path("song.mid"));
    EXPECT_NE(r.output.find("played 2 of the 2"), std::string::npos) << r.output;

    r = run(path("in.wav") + " " + path("out2.wav") + " --tempo 240 --midi " + path("tempo.mid"));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("--tempo is ignored"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("played 1 of the 2"), std::string::npos) << r.output;

    const std::vector<std::string> before = files();
    for (const std::string name : {"cut.mid", "missing.mid", "in.wav"}) {
        r = run(path("in.wav") + " " + path("out3.wav") + " --midi " + path(name));
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_NE(r.output.find("cannot read MIDI file '" + path(name) + "': "), std::string::npos)
            << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    }
    EXPECT_NE(r.output.find("not a Standard MIDI File"), std::string::npos) << r.output;
    EXPECT_EQ(files(), before);
}
