// The plug-in in a small lilv host: every plug-in of the bundle against the
// effect run directly with the same blocks, settings, MIDI and transport,
// sample for sample; in place; bypassed; its state saved and restored; the
// preset-name state through the C descriptors. Then the bundle in tools and
// hosts nobody here wrote: lv2ls, lv2info, sord_validate, lv2file against
// ostrand-render, and jalv on a JACK server with the dummy backend.
#include "../../effect/EffectHarness.h"
#include "../RenderRun.h"
#include "AllocationCounter.h"
#include "Lv2TestHost.h"
#include "effect/FactoryPresets.h"
#include "framework/ParameterValueParser.h"
#include "host/lv2/Lv2EffectGroup.h"
#include "host/lv2/Lv2PluginAdapter.h"
#include "host/lv2/Lv2PluginDescriptors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <numeric>
#include <regex>
#include <sstream>

using namespace effecttest;
using namespace lv2test;
namespace fs = std::filesystem;

namespace {

constexpr double rate = 48000.0;
const std::string stereoUri = "urn:merovance:ostrand2";
const std::string monoUri = "urn:merovance:ostrand2:mono";

// A setting as the host's port and as the parameter: the port symbol is
// written out here, so a wrong symbol rule shows.
struct Setting {
    std::string symbol;
    std::string name;
    std::string value; // as a person writes it
};

const std::vector<Setting> resonantFilter = {
    {"filter_1_freq", "Filter 1 Freq", "700 Hz"}, {"filter_1_peak", "Filter 1 Peak", "0.7"},
    {"filter_1_characteristic", "Filter 1 Characteristic", "Tube"}, {"filter_1_slope", "Filter 1 Slope", "24"},
    {"mix", "Mix", "80 %"}, {"output_gain", "Output Gain", "-3 dB"}};

// Host and reference plug-in apply the same plain values.
void apply(const std::vector<Setting>& settings, Instance& instance, GenericPlugin& reference)
{
    for (const Setting& s : settings) {
        AbstractPluginParameter& p = parameter(reference, s.name);
        const ParsedParameterValue v = parseParameterValue(p, s.value);
        ASSERT_TRUE(v.ok) << s.name << ": " << v.error;
        instance.set(s.symbol, v.plain);
        p.setValue(v.plain, 0);
    }
}

// The effect as a host with a steady 120 BPM transport would run it.
class Reference {
public:
    explicit Reference(int channels, double sampleRate = rate)
        : plugin(std::make_unique<OstrandPlugin>(channels, static_cast<float>(sampleRate))), hostRate(sampleRate)
    {
    }

    void run(const std::vector<Signal>& in, std::vector<Signal>& out, std::size_t offset, int n)
    {
        std::vector<const float*> inputs;
        std::vector<float*> outputs;
        for (std::size_t c = 0; c < in.size(); ++c) {
            inputs.push_back(in[c].data() + offset);
            outputs.push_back(out[c].data() + offset);
        }
        plugin->setTransport(tempo, position);
        plugin->process(inputs.data(), static_cast<int>(inputs.size()), outputs.data(),
                        static_cast<int>(outputs.size()), n);
        position += speed * tempo / 60.0 * n / hostRate;
    }

    std::unique_ptr<OstrandPlugin> plugin;
    double hostRate;
    double tempo = 120.0;
    double position = 0.0;
    double speed = 1.0;
};

std::vector<Signal> noiseChannels(std::size_t channels, int length, std::uint32_t seed)
{
    std::vector<Signal> s;
    for (std::size_t c = 0; c < channels; ++c)
        s.push_back(noise(length, seed + static_cast<std::uint32_t>(c)));
    return s;
}

// The channels' buffers, const for inputs.
template <typename Channels> auto pointers(Channels& s)
{
    std::vector<decltype(s[0].data())> p;
    for (auto& x : s)
        p.push_back(x.data());
    return p;
}

double worstDifference(const std::vector<Signal>& a, const std::vector<Signal>& b, std::size_t from = 0)
{
    double worst = 0.0;
    for (std::size_t c = 0; c < a.size(); ++c)
        worst = std::max(worst, maxDifference(a[c], b[c], from));
    return worst;
}

} // namespace

TEST(Lv2Plugin, AnyBlockLengthInPlaceOrNotSoundsAsTheEffectRunDirectly)
{
    // Longer than the announced maximum too: hosts may pass more. The mono
    // plug-in runs at another sample rate, which the host gives it.
    const std::vector<int> blocks = {1, 17, 1024, 1500, 4096, 5000, 333};
    const int length = std::accumulate(blocks.begin(), blocks.end(), 0);
    Host host(4096);
    for (const auto& [uri, sampleRate] : {std::pair{stereoUri, rate}, {monoUri, 96000.0}}) {
        SCOPED_TRACE(uri);
        Instance separate(host, uri, sampleRate);
        Instance inPlace(host, uri, sampleRate);
        const std::size_t channels = separate.audioOutputCount();
        Reference reference(static_cast<int>(channels), sampleRate);
        apply(resonantFilter, separate, *reference.plugin);
        apply(resonantFilter, inPlace, *reference.plugin);
        reference.plugin->applyQueuedChangesAtOnce();

        const std::vector<Signal> in = noiseChannels(channels, length, 7);
        std::vector<Signal> expected(channels, Signal(static_cast<std::size_t>(length)));
        std::vector<Signal> out = expected;
        std::vector<Signal> shared = in; // in and out of the in-place instance
        std::size_t offset = 0;
        std::size_t allocations = 0;
        const std::vector<const float*> dry = pointers(in);
        const std::vector<float*> wet = pointers(out);
        const std::vector<float*> both = pointers(shared);
        const std::vector<const float*> bothIn(both.begin(), both.end());
        float changed[] = {1000.0f, std::nanf(""), -INFINITY};
        for (int n : blocks) {
            if (n == blocks.back()) {
                // Out of range is clamped, NaN ignored; the in-place host keeps these values apart.
                for (int k = 0; const char* symbol : {"mix", "filter_1_peak", "output_gain"}) {
                    separate.set(symbol, changed[k]);
                    lilv_instance_connect_port(inPlace.get(), inPlace.port(symbol), &changed[k++]);
                }
                parameter(*reference.plugin, "Mix").setValue(100.0f, 0);
                parameter(*reference.plugin, "Output Gain").setValue(-36.0f, 0);
            }
            reference.run(in, expected, offset, n);
            testsupport::AllocationScope scope;
            separate.run(dry, wet, offset, static_cast<std::uint32_t>(n));
            inPlace.run(bothIn, both, offset, static_cast<std::uint32_t>(n));
            allocations += scope.count();
            offset += static_cast<std::size_t>(n);
        }
        EXPECT_EQ(worstDifference(out, expected), 0.0);
        EXPECT_EQ(worstDifference(shared, expected), 0.0);
        EXPECT_GT(worstDifference(out, in), 0.1); // the filter did something
        if (testsupport::allocationCountingAvailable()) {
            EXPECT_EQ(allocations, 0u);
        }
    }
}

TEST(Lv2Plugin, MidiAndTransportTakeEffectAtTheirFrames)
{
    // A step LFO locked to the bars sweeps filter 1, and a note restarts it.
    const std::vector<Setting> sweep = {
        {"num_active_xlfos", "Num Active XLFOs", "1"}, {"xlfo_1_sync_mode", "XLFO 1 Sync Mode", "1/2"},
        {"xlfo_1_midi_trigger", "XLFO 1 MIDI Trigger", "On"},
        {"xlfo_1_step_1_value", "XLFO 1 Step 1 Value", "1"},
        {"xlfo_1_step_2_value", "XLFO 1 Step 2 Value", "-1"}, {"num_active_slots", "Num Active Slots", "1"},
        {"slot_1_source", "Slot 1 Source", "XLFO 1"}, {"slot_1_target", "Slot 1 Target", "Filter 1 Freq"},
        {"slot_1_level", "Slot 1 Level", "0.6"}};
    const double none = std::nan("");
    Host host;
    // Three blocks: a 6/8 bar at 140 eighths per minute (70 quarter notes)
    // with a note at frame 300; a jump back to the start at frame 700; a
    // stop. Then one more block, standing.
    auto feed = [&](Instance& instance, int block) {
        EventSequence& e = instance.getEvents();
        if (block == 0) {
            e.position(0, 140.0, 1.0, 3.0, 1.5, 6.0, 8.0);
            e.midi(300, 0x90, 60, 100);
        } else if (block == 1) {
            e.position(700, none, none, 0.0, 0.0, none, none);
        } else if (block == 2) {
            e.position(0, none, 0.0, none, none, none, none);
        }
    };
    const int n = 1024;
    const std::vector<Signal> in = noiseChannels(2, 4 * n, 3);
    auto render = [&](bool withEvents) {
        Instance instance(host, stereoUri);
        Reference unused(2);
        apply(resonantFilter, instance, *unused.plugin);
        apply(sweep, instance, *unused.plugin);
        std::vector<Signal> out(2, Signal(in[0].size()));
        for (int b = 0; b < 4; ++b) {
            if (withEvents)
                feed(instance, b);
            instance.run(pointers(in), pointers(out), static_cast<std::size_t>(b * n), n);
        }
        return out;
    };
    const std::vector<Signal> hosted = render(true);

    // The same, told to the effect directly: the transport in quarter notes
    // ((3 bars * 6 + 1.5) eighths = 9.75 quarter notes), the note at its
    // offset, the relocation as a block of its own.
    Reference direct(2);
    Instance settingsOnly(host, stereoUri);
    apply(resonantFilter, settingsOnly, *direct.plugin);
    apply(sweep, settingsOnly, *direct.plugin);
    direct.plugin->applyQueuedChangesAtOnce();
    std::vector<Signal> expected(2, Signal(in[0].size()));
    direct.tempo = 70.0;
    direct.position = 9.75;
    direct.plugin->queueMidiEvent(300, 0x90, 60, 100);
    direct.run(in, expected, 0, n);
    direct.run(in, expected, n, 700);
    direct.position = 0.0;
    direct.run(in, expected, n + 700, n - 700);
    direct.speed = 0.0;
    direct.run(in, expected, 2 * n, n);
    const double stopped = direct.position;
    direct.run(in, expected, 3 * n, n);
    EXPECT_DOUBLE_EQ(direct.position, stopped);

    EXPECT_EQ(worstDifference(hosted, expected), 0.0);
    EXPECT_GT(worstDifference(hosted, render(false)), 0.01);
}

TEST(Lv2Plugin, AProgramChangeSwitchesInItsBlockAndTheStateNamesItsPreset)
{
    Host host;
    Instance instance(host, stereoUri);
    const auto* state = instance.extension<LV2_State_Interface>(LV2_STATE__interface);
    ASSERT_NE(state, nullptr);
    const std::vector<Signal> in = noiseChannels(2, 512, 1);
    std::vector<Signal> out(2, Signal(512));
    instance.run(pointers(in), pointers(out), 0, 256);
    EXPECT_EQ(host.takeWorkRequests(), 0);
    // Bank 0 (controllers 0 and 32), program 5: the sixth factory preset in
    // menu order, which the first instance installed in the user's folder.
    instance.getEvents().midi(10, 0xB0, 0, 0);
    instance.getEvents().midi(10, 0xB0, 32, 0);
    instance.getEvents().midi(20, 0xC0, 5, 0);
    instance.run(pointers(in), pointers(out), 256, 256);
    ASSERT_EQ(host.takeWorkRequests(), 1);
    const auto* worker = instance.extension<LV2_Worker_Interface>(LV2_WORKER__interface);
    EXPECT_EQ(worker->work(instance.handle(), nullptr, nullptr, 1, "\0"), LV2_WORKER_SUCCESS);
    Reference scratch(2);
    const std::vector<FactoryPreset> factory = readFactoryPresets(*scratch.plugin);
    ASSERT_GT(factory.size(), 5u);
    StateStore named;
    ASSERT_TRUE(named.save(*state, instance.handle()));
    ASSERT_EQ(named.values.size(), 1u);
    EXPECT_STREQ(named.values.begin()->second.bytes.c_str(), factory[5].name.c_str());

    // A factory preset from the bundle, as a host's preset menu loads it
    // (from its own file); then a session saved through lilv, as a host
    // writes it, and loaded into a new instance: the ports and the name
    // come back.
    UridMap& urids = host.getUrids();
    Instance original(host, stereoUri);
    LilvNode* uri = lilv_new_uri(host.getWorld(), (stereoUri + ":preset:Tempo%20Sync/Dubstep%20Wobble").c_str());
    lilv_world_load_resource(host.getWorld(), uri);
    LilvState* preset = lilv_state_new_from_world(host.getWorld(), &urids.mapFeature, uri);
    lilv_node_free(uri);
    ASSERT_NE(preset, nullptr);
    EXPECT_STREQ(lilv_state_get_label(preset), "Dubstep Wobble");
    original.restoreState(preset);
    lilv_state_free(preset);
    ASSERT_TRUE(named.save(*state, original.handle()));
    EXPECT_STREQ(named.values.begin()->second.bytes.c_str(), "Dubstep Wobble");
    EXPECT_NE(original.getControls(), Instance(host, stereoUri).getControls());
    LilvState* session = original.saveState();
    ASSERT_NE(session, nullptr);
    char* text = lilv_state_to_string(host.getWorld(), &urids.mapFeature, &urids.unmapFeature, session,
                                      "urn:test:session", nullptr);
    lilv_state_free(session);
    LilvState* loaded = lilv_state_new_from_string(host.getWorld(), &urids.mapFeature, text);
    lilv_free(text);
    ASSERT_NE(loaded, nullptr);
    Instance restored(host, stereoUri);
    restored.restoreState(loaded);
    lilv_state_free(loaded);
    StateStore again;
    again.save(*state, restored.handle());
    EXPECT_EQ(again.values, named.values);
    EXPECT_EQ(restored.getControls(), original.getControls());
}

TEST(Lv2Plugin, BypassCrossfadesThenPassesTheInputAndTheEffectComesBackFresh)
{
    const std::size_t fade = 960; // 20 ms at 48 kHz
    const int n = 500;            // blocks that do not line up with the fade
    const int blocks = 24;
    const std::size_t off = 8 * n;   // bypass switched on here
    const std::size_t back = 16 * n; // and off again here
    Host host;
    Reference unused(2);
    auto make = [&] {
        auto i = std::make_unique<Instance>(host, stereoUri);
        apply(resonantFilter, *i, *unused.plugin);
        return i;
    };
    auto on = make();      // never bypassed
    auto faded = make();   // bypassed from off to back
    auto inPlace = make(); // the same, processed in place
    const std::vector<Signal> in = noiseChannels(2, blocks * n, 5);
    auto silence = [&] { return std::vector<Signal>(2, Signal(in[0].size())); };
    std::vector<Signal> yOn = silence(), y = silence(), yNew = silence();
    std::vector<Signal> shared = in;
    const std::vector<float*> both = pointers(shared);
    const std::vector<const float*> bothIn(both.begin(), both.end());
    std::unique_ptr<Instance> fresh; // started where the effect comes back
    for (int b = 0; b < blocks; ++b) {
        const auto at = static_cast<std::size_t>(b * n);
        if (at == off || at == back) {
            faded->set("enabled", at == off ? 0.0f : 1.0f);
            inPlace->set("enabled", at == off ? 0.0f : 1.0f);
        }
        if (at == back)
            fresh = make();
        on->run(pointers(in), pointers(yOn), at, n);
        faded->run(pointers(in), pointers(y), at, n);
        inPlace->run(bothIn, both, at, n);
        if (fresh)
            fresh->run(pointers(in), pointers(yNew), at, n);
    }
    // The input comes as late as the reported latency, as at mix 0 (in the effect).
    const auto late = static_cast<std::size_t>(faded->get("latency"));
    Instance dry(host, stereoUri);
    dry.set("mix", 0.0f);
    std::vector<Signal> yDry = silence();
    dry.run(pointers(in), pointers(yDry), 0, static_cast<std::uint32_t>(in[0].size()));
    EXPECT_TRUE(late == 3 && std::equal(in[1].begin(), in[1].end() - 3, yDry[1].begin() + 3));
    for (std::size_t c = 0; c < 2; ++c) {
        const Signal& x = in[c];
        // A straight line from the effect to the input (once the input has
        // come through), then the input sample for sample, in place too.
        for (std::size_t k = 0; k < back - off; ++k) {
            const std::size_t i = off + k;
            const float g = k < late ? 1.0f : k < fade + late ? 1.0f - static_cast<float>(k - late + 1) / fade : 0.0f;
            if (k < fade + late) {
                ASSERT_NEAR(y[c][i], x[i - late] + g * (yOn[c][i] - x[i - late]), 1e-5f) << i;
            } else {
                ASSERT_EQ(y[c][i], x[i - late]) << i;
            }
            ASSERT_EQ(shared[c][i], y[c][i]) << i;
        }
        // Back on: a straight line from the input to an effect that starts
        // from a reset graph, as a new instance does.
        for (std::size_t i = back; i < y[c].size(); ++i) {
            const float g = std::min(1.0f, static_cast<float>(i - back + 1) / fade);
            ASSERT_NEAR(y[c][i], x[i - late] + g * (yNew[c][i] - x[i - late]), 1e-5f) << i;
        }
    }
    EXPECT_GT(worstDifference(y, in, back + fade), 0.1);
}

TEST(Lv2PluginGroup, ARestoredPresetNameFindsItsPresetAndOtherChangesWaitForTheView)
{
    TemporaryHome home;
    const Lv2PluginDescriptors descriptors(effectPluginGroup());
    const LV2_Descriptor* d = descriptors.get(0);
    lv2test::UridMap urids;
    const LV2_Feature map{LV2_URID__map, &urids.mapFeature};
    const LV2_Feature* features[] = {&map, nullptr};
    LV2_Handle h = d->instantiate(d, 48000.0, "", features);
    ASSERT_NE(h, nullptr);
    const auto* state = static_cast<const LV2_State_Interface*>(d->extension_data(LV2_STATE__interface));
    ASSERT_NE(state, nullptr);
    auto& adapter = *static_cast<Lv2PluginAdapter*>(h);
    const PresetState& preset = adapter.getPlugin().getPresetState();
    const LV2_URID key = urids.map("urn:merovance:ostrand2#presetName");
    const LV2_URID text = urids.map(LV2_ATOM__String);

    // A name longer than the 63 characters kept, as a host may hand it back:
    // saved again shortened, under the same key and type.
    lv2test::StateStore given, kept;
    given.values[key] = {text, std::string(70, 'x') + std::string(1, '\0')};
    ASSERT_TRUE(given.restore(*state, h));
    ASSERT_TRUE(kept.save(*state, h));
    ASSERT_EQ(kept.values.size(), 1u);
    EXPECT_EQ(kept.values[key].type, text);
    EXPECT_EQ(kept.values[key].bytes, std::string(63, 'x') + std::string(1, '\0'));

    // The first instance installed the factory presets in the user's folder.
    given.values[key].bytes = std::string("Dubstep Wobble") + std::string(1, '\0');
    given.restore(*state, h);
    EXPECT_EQ(preset.getName(), "Dubstep Wobble");
    EXPECT_TRUE(preset.getLocation().ends_with("/Tempo Sync/Dubstep Wobble.mvp")) << preset.getLocation();

    // A change the host did not make waits, once, for the editor's view to
    // pass it on to the host's port (which changes are told is the
    // framework's rule).
    AbstractPluginParameter& far = *adapter.getPlugin().getParameter(100);
    far.setValue(far.getMax(), 0);
    std::vector<int> taken;
    for (int twice = 0; twice < 2; ++twice)
        adapter.takeChangedParameters([&taken](int i) { taken.push_back(i); });
    EXPECT_EQ(taken, std::vector<int>{100});
    d->cleanup(h);
}

namespace {


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
    for (const Expected& e : {Expected{"urn:merovance:ostrand2", {"in_l", "in_r", "out_l", "out_r", "sc_l", "sc_r"}, 675},
                              Expected{"urn:merovance:ostrand2:mono", {"in", "out", "sc"}, 672}}) {
        SCOPED_TRACE(e.uri);
        const std::string info = shell("lv2info " + e.uri).output;
        EXPECT_NE(info.find("Class:             Filter Plugin"), std::string::npos);
        EXPECT_NE(info.find("Has latency:       yes"), std::string::npos);
        EXPECT_NE(info.find("Required Features: http://lv2plug.in/ns/ext/urid#map"), std::string::npos);
        const auto ports = portsOf(info);
        EXPECT_EQ(ports.size(), e.count);
        EXPECT_EQ(ports.count("eg_1triggering") + ports.count("slot_24_target"), 2u);
        // Each port's kind, and the parameters' ranges, switches and option lists.
        std::vector<std::pair<std::string, std::string>> expected = {
            {e.audio.back(), "isSideChain"}, {"events", "AtomPort"},
            {"enabled", "Designation: http://lv2plug.in/ns/lv2core#enabled"},
            {"latency", "Designation: http://lv2plug.in/ns/lv2core#latency"},
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
        // lv2file plays the output stage's latency, which the renderer takes out.
        const std::size_t late = 2 * 3;
        double worst = 0.0;
        double change = 0.0;
        for (std::size_t i = 0; i + late < a.samples.size(); ++i) {
            worst = std::max(worst, static_cast<double>(std::fabs(a.samples[i + late] - b.samples[i])));
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
