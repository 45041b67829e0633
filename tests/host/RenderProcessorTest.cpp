// The renderer's command line: files and options in any order, and every
// argument it cannot mean refused with a reason. Its processor: it speaks
// for the product and copes with hosts that hand it the same buffers for
// input and output, also crossed; a MIDI file's events reach the plug-in at
// their exact samples through the event queue, whatever the host block
// size, and the transport arrives before every block.
#include "host/cli/AudioFileWriter.h"
#include "host/cli/MidiEventFeeder.h"
#include "host/cli/RenderOptions.h"
#include "host/cli/RenderProcessor.h"
#include "host/cli/TempoMap.h"

#include "PassThroughPlugin.h"
#include "TestFiles.h"

#include "framework/AbstractMusicEventReceiver.h"
#include "framework/ApplicationInfo.h"
#include "framework/GenericPlugin.h"
#include "framework/MidiListener.h"
#include "framework/ParameterAssignment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <sstream>
#include <tuple>
#include <vector>

namespace {

// Notes where (samples since the start) each note and transport call arrives.
class RecordingPlugin final : public PassThroughPlugin, private MidiListener {
public:
    RecordingPlugin() : PassThroughPlugin(1, 48000.0f)
    {
        getEventReceiver()->getChannelReceiver(0)->addListener(this);
    }

    struct Transport {
        std::uint32_t at;
        double tempo, position;
    };
    using Note = std::tuple<std::uint32_t, int, bool>; // sample, key, on

    void setTransport(double tempo, double position) override
    {
        transports.push_back({getGraph().getPosition(), tempo, position});
    }
    std::vector<Note> notes;
    std::vector<Transport> transports;

private:
    void noteOn(int key, float) override { notes.emplace_back(getGraph().getPosition(), key, true); }
    void noteOff(int key, float) override { notes.emplace_back(getGraph().getPosition(), key, false); }
};

// Runs the renderer's processor over `length` samples in blocks of `block`.
RecordingPlugin& render(std::unique_ptr<RenderProcessor>& processor, MidiEventFeeder feeder, int length,
                        int block)
{
    auto plugin = std::make_unique<RecordingPlugin>();
    RecordingPlugin& recorder = *plugin;
    processor = std::make_unique<RenderProcessor>(std::move(plugin), 1, std::move(feeder));
    std::vector<float> in(static_cast<std::size_t>(block)), out(in.size());
    const float* inputs[] = {in.data()};
    float* outputs[] = {out.data()};
    for (int done = 0; done < length; done += block)
        processor->process(inputs, outputs, std::min(block, length - done));
    return recorder;
}

using Arguments = std::vector<std::string_view>;

// The options a command line gives, in one line.
std::string summary(const RenderOptions& o)
{
    std::ostringstream s;
    s << "in=" << o.input << " out=" << o.output << " block=" << o.blockSize << " midi=" << o.midiFile
      << " tempo=" << o.tempo << (o.tempoGiven ? "!" : "") << " side=" << o.sideChain << " set=";
    for (const std::string& setting : o.settings)
        s << "[" << setting << "]";
    s << (o.listParameters ? " list" : "") << (o.quiet ? " quiet" : "") << (o.help ? " help" : "");
    return s.str();
}

} // namespace

// 480 ticks a quarter, 120 BPM until tick 60 at sample 3000, then 60 BPM.
// 8000 samples of audio: the events at 8000 and beyond are never delivered.
// (Reading and scheduling files are MidiFileTest's.)
TEST(MidiRender, EventsArriveAtTheirSampleForAnyBlockSize)
{
    const std::vector<MidiTempoChange> changes = {{60, 1000000}};
    const std::vector<ScheduledMidiEvent> events = {
        {0, 0x90, 1, 100},    {500, 0x90, 2, 100},  {550, 0x80, 2, 0},    {1000, 0x90, 3, 100},
        {1000, 0x90, 4, 100}, {3000, 0x90, 5, 100}, {3100, 0x90, 6, 0},   {7000, 0x90, 7, 100},
        {8000, 0x90, 8, 100}, {17000, 0x90, 9, 100}};
    const std::vector<RecordingPlugin::Note> expected = {{0, 1, true},     {500, 2, true},  {550, 2, false},
                                                         {1000, 3, true},  {1000, 4, true}, {3000, 5, true},
                                                         {3100, 6, false}, {7000, 7, true}};
    for (int block : {512, 1000, 1, 3000}) {
        const TempoMap map(MidiTimeDivision{480, 0, 0}, changes, 90.0, 48000);
        std::unique_ptr<RenderProcessor> processor;
        RecordingPlugin& plugin = render(processor, MidiEventFeeder(map, events), 8000, block);
        EXPECT_EQ(plugin.notes, expected) << "block " << block;
        EXPECT_EQ(processor->getFeeder().getFedCount(), 8u);

        // One transport per block, told at its first sample.
        ASSERT_EQ(plugin.transports.size(), static_cast<std::size_t>((8000 + block - 1) / block)) << block;
        for (std::size_t i = 0; i < plugin.transports.size(); ++i) {
            const auto [at, tempo, position] = plugin.transports[i];
            ASSERT_EQ(at, i * static_cast<std::size_t>(block));
            const double seconds = at / 48000.0;
            EXPECT_DOUBLE_EQ(tempo, at < 3000 ? 120.0 : 60.0) << at;
            EXPECT_NEAR(position, at < 3000 ? seconds * 2.0 : 0.125 + (seconds - 0.0625), 1e-12) << at;
        }
    }
}

// A block with more events than the plug-in's event queue holds (65535)
// runs in parts; every event still arrives, in order, at its sample.
TEST(MidiRender, ABlockBeyondTheQueueSizeLosesAndMovesNothing)
{
    std::vector<ScheduledMidiEvent> events;
    for (int i = 0; i < 70000; ++i)
        events.push_back({500, 0x90, std::uint8_t(i % 128), 100});
    events.push_back({700, 0x80, 1, 0});
    std::unique_ptr<RenderProcessor> processor;
    RecordingPlugin& plugin = render(processor, MidiEventFeeder(TempoMap(120.0, 48000), events), 2000, 1000);

    ASSERT_EQ(plugin.notes.size(), events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        const auto [at, key, on] = plugin.notes[i];
        ASSERT_EQ(at, static_cast<std::uint32_t>(events[i].sample)) << i;
        ASSERT_EQ(key, events[i].data1) << i;
    }
    EXPECT_EQ(processor->getPosition(), 2000);
    // The steady transport without a file: 120 BPM, two quarters a second.
    ASSERT_GE(plugin.transports.size(), 3u);
    EXPECT_DOUBLE_EQ(plugin.transports.back().tempo, 120.0);
    EXPECT_DOUBLE_EQ(plugin.transports.back().position, 1000 / 24000.0);
}

// The renderer's plug-in speaks for the product (the name settings and
// folders are derived from) and copes with hosts that hand it the same
// buffers for input and output, also crossed.
TEST(RenderProcessor, KnowsTheProductAndProcessesInPlace)
{
    TemporaryHome home; // the plug-in's user settings go there
    RenderProcessor processor(2, 96000);
    EXPECT_EQ(ApplicationInfo::shared().getShortName(), "Ostrand");
    EXPECT_EQ(processor.getPlugin().getGraph().getSampleRate(), 96000.0f);
    // The effect without a filter hands the input on untouched, at once.
    ASSERT_TRUE(applyParameterAssignment(processor.getPlugin(), "Filter 1 Enabled=Disabled").ok());
    processor.getPlugin().applyQueuedChangesAtOnce();

    const int n = 2500; // more than two sub-blocks
    std::vector<float> left(n), right(n);
    std::iota(left.begin(), left.end(), 0.0f);
    std::iota(right.begin(), right.end(), -2500.5f);
    const std::vector<float> originalLeft = left, originalRight = right;

    float* same[2] = {left.data(), right.data()};
    processor.process(same, same, n);
    EXPECT_EQ(left, originalLeft);
    EXPECT_EQ(right, originalRight);

    // Output 0 into input 1's buffer and back: every input of a sub-block is
    // read before any output is written, so the channels simply swap.
    float* crossed[2] = {right.data(), left.data()};
    processor.process(same, crossed, n);
    EXPECT_EQ(left, originalRight);
    EXPECT_EQ(right, originalLeft);
}

// A render longer than a WAV file can count (4 GiB of samples, 3.1 hours of
// stereo at 48 kHz: its sizes would wrap and readers see minutes) is written
// as RF64: its header keeps room (a JUNK chunk) for the 64-bit sizes it
// takes on when the render outgrows a WAV file. One that fits is plain WAV.
TEST(AudioFileWriter, ARenderBeyondFourGibibytesIsWrittenAsRf64)
{
    testsupport::ScratchFolder dir;
    for (const auto& [frames, header] : {std::pair{std::int64_t{1} << 29, "WAVEJUNK"}, {std::int64_t{1} << 28, "WAVEfmt "}}) {
        AudioFileWriter writer;
        ASSERT_TRUE(writer.open(dir / "out.wav", 2, 48000, frames)) << writer.getError();
        const float frame[2] = {};
        ASSERT_TRUE(writer.write(frame, 1));
        EXPECT_EQ(testsupport::readFile(writer.getTemporaryPath()).substr(8, 8), header) << frames;
    }
}

TEST(RenderOptions, AcceptsFilesAndOptionsInAnyOrder)
{
    struct Case {
        Arguments arguments;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{
             {{}, "in= out=out.wav block=512 midi= tempo=120 side= set="},
             {{"in.flac", "--block", "3000", "result.wav", "-q"},
              "in=in.flac out=result.wav block=3000 midi= tempo=120 side= set= quiet"},
             {{"-o", "out/demo.wav"}, "in= out=out/demo.wav block=512 midi= tempo=120 side= set="},
             {{"--output=x.wav", "--block=1", "--", "-odd-name.wav"},
              "in=-odd-name.wav out=x.wav block=1 midi= tempo=120 side= set="},
             {{"--help"}, "in= out=out.wav block=512 midi= tempo=120 side= set= help"},
             {{"--midi", "song.mid", "--tempo=92.5", "in.wav"},
              "in=in.wav out=out.wav block=512 midi=song.mid tempo=92.5! side= set="},
             {{"--midi=x.mid", "--tempo", "1000"}, "in= out=out.wav block=512 midi=x.mid tempo=1000! side= set="},
             {{"--set", "Filter 1 Freq=1000 Hz", "in.wav", "--set=Mix=50 %", "--sidechain", "key.wav",
               "--list-parameters"},
              "in=in.wav out=out.wav block=512 midi= tempo=120 side=key.wav set=[Filter 1 Freq=1000 Hz][Mix=50 %] list"},
         }) {
        const ParsedArguments p = parseRenderArguments(c.arguments);
        EXPECT_EQ(p.error, "");
        EXPECT_EQ(summary(p.options), c.expected);
    }
}

TEST(RenderOptions, RejectsWhatItCannotMeanWithAReason)
{
    for (const Arguments& arguments : std::vector<Arguments>{
             {"--block", "0"},  {"--block", "12x"},    {"--block", "99999999999"}, {"--block"},
             {"-o"},            {"--frobnicate"},      {"--quiet=yes"},            {"a.wav", "b.wav", "c.wav"},
             {"a.wav", "b.wav", "-o", "c.wav"},        {"--tempo", "0"},           {"--tempo", "0.5"},
             {"--tempo", "1000.5"}, {"--tempo", "nan"}, {"--tempo", "inf"},        {"--tempo", "120bpm"},
             {"--tempo", ""},   {"--tempo"},           {"--midi"},                 {"--midi="},
             {"--set", "Mix"},  {"--set"},             {"--sidechain="},           {"--list-parameters=yes"},
         })
        EXPECT_NE(parseRenderArguments(arguments).error, "")
            << arguments.front() << " " << (arguments.size() > 1 ? arguments[1] : "");
    // The refused value is named.
    EXPECT_NE(parseRenderArguments(Arguments{"--block", "-5"}).error.find("-5"), std::string::npos);
    EXPECT_NE(parseRenderArguments(Arguments{"--tempo", "-3"}).error.find("'-3'"), std::string::npos);
}
