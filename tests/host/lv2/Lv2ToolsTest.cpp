// The built bundle in tools and hosts that nobody here wrote: lilv's lv2ls
// and lv2info, sord_validate with the LV2 schemas, lv2file against
// ostrand-render, and jalv on a JACK server with the dummy backend.
#include "../RenderRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::string bundle = OSTRAND_LV2_BUNDLE;

// Runs a shell command with the bundle (and the system's LV2 schema bundles)
// on the LV2 search path.
testsupport::Outcome shell(const std::string& command)
{
    return testsupport::runCommand("LV2_PATH='" + fs::path(bundle).parent_path().string() + ":/usr/lib/lv2' " +
                                   command);
}

// lv2info's description of each port, by symbol.
std::map<std::string, std::string> portsOf(const std::string& info)
{
    std::map<std::string, std::string> ports;
    const std::regex header("\n\tPort [0-9]+:\n");
    const std::regex symbol("Symbol: +([a-z0-9_]+)");
    std::sregex_token_iterator part(info.begin(), info.end(), header, -1), end;
    for (++part; part != end; ++part) {
        const std::string text = *part;
        std::smatch m;
        if (std::regex_search(text, m, symbol))
            ports[m[1]] = text;
    }
    return ports;
}

class Lv2Tools : public rendertest::RenderFolder {};

} // namespace

TEST_F(Lv2Tools, LilvToolsSeeBothPluginsWithTheirPorts)
{
    const std::string list = shell("lv2ls").output;
    EXPECT_NE(list.find("urn:merovance:ostrand2\n"), std::string::npos) << list;
    EXPECT_NE(list.find("urn:merovance:ostrand2:mono\n"), std::string::npos) << list;

    struct Expected {
        std::string uri;
        std::vector<std::string> audio;
        std::size_t count;
    };
    for (const Expected& e : {Expected{"urn:merovance:ostrand2", {"in_l", "in_r", "out_l", "out_r", "sc_l", "sc_r"}, 674},
                              Expected{"urn:merovance:ostrand2:mono", {"in", "out", "sc"}, 671}}) {
        SCOPED_TRACE(e.uri);
        const std::string info = shell("lv2info " + e.uri).output;
        EXPECT_NE(info.find("Class:             Filter Plugin"), std::string::npos);
        EXPECT_NE(info.find("Required Features: http://lv2plug.in/ns/ext/urid#map"), std::string::npos);
        const auto ports = portsOf(info);
        EXPECT_EQ(ports.size(), e.count);
        EXPECT_EQ(ports.count("eg_1triggering") + ports.count("slot_24_target"), 2u);
        // Each port's kind, and the parameters' ranges, switches and option lists.
        std::vector<std::pair<std::string, std::string>> expected = {
            {e.audio.back(), "isSideChain"}, {"events", "AtomPort"},
            {"enabled", "Designation: http://lv2plug.in/ns/lv2core#enabled"},
            {"input_gain", "Minimum:     -36.000000"}, {"input_gain", "Maximum:     36.000000"},
            {"filter_1_enabled", "#toggled"}, {"filter_1_response", "#enumeration"},
            {"filter_1_response", "0 = \"LP\""}, {"filter_1_response", "1 = \"HP\""}, {"filter_1_response", "2 = \"BP\""}};
        for (const std::string& s : e.audio)
            expected.emplace_back(s, "AudioPort");
        for (const auto& [symbol, text] : expected)
            EXPECT_NE(ports.at(symbol).find(text), std::string::npos) << symbol << ": " << text;

        // Every factory preset, in the host's preset list.
        const std::size_t from = info.find("Presets:");
        const std::string presets = info.substr(from, info.find("\n\n", from) - from);
        std::size_t texts = 0;
        for (const auto& f : fs::recursive_directory_iterator(OSTRAND_FACTORY_PRESETS))
            texts += f.path().string().ends_with(".mvp.txt");
        EXPECT_GT(texts, 50u);
        EXPECT_EQ(static_cast<std::size_t>(std::count(presets.begin(), presets.end(), '\n')), texts);
        EXPECT_NE(presets.find("Dubstep Wobble\n"), std::string::npos);
    }
}

TEST_F(Lv2Tools, TurtleValidatesAgainstTheLv2Schemas)
{
    // The exit status says little; the summary line says how many errors.
    // The presets are all written by one function; two of them stand for
    // the rest (all 71 take seconds). The schemas are LV2's own (package
    // lv2-dev): other plug-ins installed beside them bring errors of their
    // own.
    const std::string out = shell("sord_validate $(dpkg -L lv2-dev | grep '\\.ttl$') '" + bundle + "'/*.ttl $(ls '" +
                                  bundle + "'/presets/*.ttl | head -2)").output;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, std::regex("Found ([0-9]+) errors among ([0-9]+) files"))) << out;
    EXPECT_EQ(m[1], "0") << out;
    EXPECT_GT(std::stoi(m[2]), 3);
}

TEST_F(Lv2Tools, Lv2fileRendersAsOstrandRenderWithTheSameSettingsOrFactoryPreset)
{
    sox("-r 44100 -c 2 -n -e floating-point -b 32 " + path("noise.wav") + " synth 0.6 whitenoise gain -8");
    // lv2file maps one file channel to every audio input, the side chain's
    // too; the renderer uses the main input as side chain when it has none.
    sox(path("noise.wav") + " -e floating-point -b 32 " + path("noise4.wav") + " remix 1 2 1 2");
    const rendertest::Audio in = rendertest::readAudio(path("noise.wav"));
    auto compare = [&](const std::string& lv2fileOptions, const std::string& renderOptions) {
        const testsupport::Outcome hosted = shell("lv2file -b 512 -i " + path("noise4.wav") + " -o " +
                                                  path("lv2file.wav") + " " + lv2fileOptions + " urn:merovance:ostrand2");
        ASSERT_EQ(hosted.status, 0) << hosted.output;
        const rendertest::Outcome r =
            rendertest::run("--quiet --block 512 " + renderOptions + " " + path("noise.wav") + " " + path("render.wav"));
        ASSERT_EQ(r.status, 0) << r.output;
        const rendertest::Audio a = rendertest::readAudio(path("lv2file.wav"));
        const rendertest::Audio b = rendertest::readAudio(path("render.wav"));
        ASSERT_EQ(a.channels, 2);
        ASSERT_EQ(a.samples.size(), b.samples.size());
        double worst = 0.0;
        double change = 0.0;
        for (std::size_t i = 0; i < a.samples.size(); ++i) {
            worst = std::max(worst, static_cast<double>(std::fabs(a.samples[i] - b.samples[i])));
            change = std::max(change, static_cast<double>(std::fabs(a.samples[i] - in.samples[i])));
        }
        EXPECT_LE(worst, 1e-6);
        EXPECT_GT(change, 0.05);
    };
    {
        SCOPED_TRACE("control ports");
        compare("-p filter_1_freq:0.6 -p filter_1_peak:0.65 -p filter_1_characteristic:3 -p filter_1_slope:2 "
                "-p routing_mode:2 -p mix:75 -p input_gain:4",
                "--set 'Filter 1 Freq=0.6' --set 'Filter 1 Peak=0.65' --set 'Filter 1 Characteristic=3' "
                "--set 'Filter 1 Slope=2' --set 'Routing Mode=2' --set 'Mix=75' --set 'Input Gain=4'");
    }
    {
        // A factory preset from the host's preset list, against the text it
        // was built from given to the renderer line by line.
        SCOPED_TRACE("factory preset");
        std::ifstream text(std::string(OSTRAND_FACTORY_PRESETS) + "/Tempo Sync/Dubstep Wobble.mvp.txt");
        std::string line;
        std::string settings;
        while (std::getline(text, line))
            if (!line.empty() && line[0] != '#')
                settings += "--set '" + std::regex_replace(line, std::regex(" = "), "=") + "' ";
        ASSERT_FALSE(settings.empty());
        compare("-P 'Dubstep Wobble'", settings);
    }
}

TEST_F(Lv2Tools, JalvRunsThePluginOnAJackServerWithoutComplaint)
{
    // jalv reading commands from a pipe that stays open for three seconds:
    // it moves controls, bypasses and un-bypasses, lists the controls, and
    // quits when the pipe closes.
    const std::string commands = path("commands");
    testsupport::writeFile(path("jalv.sh"), testsupport::withJackServer(
        "mkfifo " + commands + "\n"
        "( printf 'filter_1_freq = 0.4\\nfilter_1_peak = 0.8\\n'; sleep 1; printf 'enabled = 0\\n'; sleep 0.5\n"
        "  printf 'enabled = 1\\n'; sleep 1; printf 'controls\\n'; sleep 0.5 ) > " + commands + " &\n"
        "timeout 30 jalv urn:merovance:ostrand2 < " + commands));
    const std::string out = shell("bash " + path("jalv.sh")).output;
    EXPECT_NE(out.find("Plugin:       urn:merovance:ostrand2"), std::string::npos) << out.substr(0, 2000);
    std::istringstream lines(out);
    int controls = 0;
    const std::regex complaint("error|warn|fail|cannot|unknown|invalid", std::regex::icase);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_FALSE(std::regex_search(line, complaint)) << line;
        controls += line.find("filter_1_peak = 0.800000") != std::string::npos;
    }
    EXPECT_GE(controls, 1) << "the controls listing shows the value set";
}
