#include "host/cli/RenderOptions.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {
ParsedArguments parse(std::initializer_list<std::string_view> args)
{
    const std::vector<std::string_view> list(args);
    return parseRenderArguments(list);
}
} // namespace

TEST(RenderOptions, AcceptsFilesAndOptionsInAnyOrder)
{
    ParsedArguments p = parse({});
    EXPECT_TRUE(p.error.empty());
    EXPECT_TRUE(p.options.input.empty());
    EXPECT_EQ(p.options.output, "out.wav");
    EXPECT_EQ(p.options.blockSize, 512);

    p = parse({"in.flac", "--block", "3000", "result.wav", "-q"});
    EXPECT_TRUE(p.error.empty()) << p.error;
    EXPECT_EQ(p.options.input, "in.flac");
    EXPECT_EQ(p.options.output, "result.wav");
    EXPECT_EQ(p.options.blockSize, 3000);
    EXPECT_TRUE(p.options.quiet);

    p = parse({"-o", "out/demo.wav"});
    EXPECT_TRUE(p.options.input.empty());
    EXPECT_EQ(p.options.output, "out/demo.wav");

    p = parse({"--output=x.wav", "--block=1", "--", "-odd-name.wav"});
    EXPECT_TRUE(p.error.empty()) << p.error;
    EXPECT_EQ(p.options.input, "-odd-name.wav");
    EXPECT_EQ(p.options.output, "x.wav");
    EXPECT_EQ(p.options.blockSize, 1);

    EXPECT_TRUE(parse({"--help"}).options.help);
}

TEST(RenderOptions, RejectsWhatItCannotMeanWithAReason)
{
    for (auto args : std::vector<std::vector<std::string_view>>{
             {"--block", "0"},
             {"--block", "12x"},
             {"--block", "99999999999"},
             {"--block"},
             {"-o"},
             {"--frobnicate"},
             {"--quiet=yes"},
             {"a.wav", "b.wav", "c.wav"},
             {"a.wav", "b.wav", "-o", "c.wav"},
         }) {
        const ParsedArguments p = parseRenderArguments(args);
        EXPECT_FALSE(p.error.empty()) << args.front();
    }
    EXPECT_NE(parse({"--block", "-5"}).error.find("-5"), std::string::npos);
}

TEST(RenderOptions, MidiFileAndTempo)
{
    ParsedArguments p = parse({"--midi", "song.mid", "--tempo=92.5", "in.wav"});
    EXPECT_TRUE(p.error.empty()) << p.error;
    EXPECT_EQ(p.options.midiFile, "song.mid");
    EXPECT_DOUBLE_EQ(p.options.tempo, 92.5);
    EXPECT_TRUE(p.options.tempoGiven);
    EXPECT_EQ(p.options.input, "in.wav");

    p = parse({"--midi=x.mid"});
    EXPECT_EQ(p.options.midiFile, "x.mid");
    EXPECT_DOUBLE_EQ(p.options.tempo, 120.0);
    EXPECT_FALSE(p.options.tempoGiven);
    EXPECT_DOUBLE_EQ(parse({"--tempo", "1000"}).options.tempo, 1000.0);

    for (auto args : std::vector<std::vector<std::string_view>>{{"--tempo", "0"},
                                                                {"--tempo", "0.5"},
                                                                {"--tempo", "1000.5"},
                                                                {"--tempo", "nan"},
                                                                {"--tempo", "inf"},
                                                                {"--tempo", "120bpm"},
                                                                {"--tempo", ""},
                                                                {"--tempo"},
                                                                {"--midi"},
                                                                {"--midi="}}) {
        const ParsedArguments bad = parseRenderArguments(args);
        EXPECT_FALSE(bad.error.empty()) << args.front() << " " << (args.size() > 1 ? args[1] : "");
    }
    EXPECT_NE(parse({"--tempo", "-3"}).error.find("'-3'"), std::string::npos);
    const std::string usage = renderUsage();
    EXPECT_NE(usage.find("--midi FILE"), std::string::npos);
    EXPECT_NE(usage.find("after the end of the audio are ignored"), std::string::npos);
    EXPECT_NE(usage.find("Ignored when the MIDI file has tempo changes"), std::string::npos);
}

TEST(RenderOptions, SettingsSideChainAndListing)
{
    ParsedArguments p = parse({"--set", "Filter 1 Freq=1000 Hz", "in.wav", "--set=Mix=50 %",
                               "--sidechain", "key.wav", "--list-parameters"});
    ASSERT_TRUE(p.error.empty()) << p.error;
    ASSERT_EQ(p.options.settings.size(), 2u);
    EXPECT_EQ(p.options.settings[0], "Filter 1 Freq=1000 Hz");
    EXPECT_EQ(p.options.settings[1], "Mix=50 %");
    EXPECT_EQ(p.options.sideChain, "key.wav");
    EXPECT_TRUE(p.options.listParameters);
    EXPECT_EQ(p.options.input, "in.wav");

    EXPECT_FALSE(parse({"--set", "Mix"}).error.empty());
    EXPECT_FALSE(parse({"--set"}).error.empty());
    EXPECT_FALSE(parse({"--sidechain="}).error.empty());
    EXPECT_FALSE(parse({"--list-parameters=yes"}).error.empty());
}
