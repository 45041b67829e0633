// The renderer's command line: files and options in any order, and every
// argument it cannot mean refused with a reason.
#include "host/cli/RenderOptions.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

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
