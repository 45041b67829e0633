// The factory content as it ships: installed at first start without ever
// replacing the user's files, and every factory preset loads and plays the
// demo through the effect as finite, audible audio that no other factory
// preset makes.
#include "../effect/EffectHarness.h"
#include "effect/FactoryPresets.h"
#include "effect/LegacyPresetLoaders.h"
#include "host/cli/DemoSignal.h"
#include "persistence/PresetLibrary.h"
#include "persistence/ProductFolders.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;
using namespace effecttest;

namespace {

bool isFiniteSample(float v) { return std::isfinite(v); }

// The demo through a fresh instance with the preset, with a note, the
// modulation wheel, pitch bend, pressure and controller 74 at the start so
// MIDI-driven presets move too.
std::vector<Signal> play(const FactoryPreset& preset, const std::vector<Signal>& demo)
{
    OstrandPlugin plugin(2, DemoSignal::defaultSampleRate);
    EXPECT_TRUE(loadAnyGeneration(plugin, presetBytesSource(preset.bytes))) << preset.path;
    plugin.applyQueuedChangesAtOnce();
    for (const auto& [status, d1, d2] : {std::tuple{0x90, 60, 100}, {0xB0, 1, 100}, {0xE0, 0, 100},
                                         {0xD0, 90, 0}, {0xB0, 74, 110}})
        plugin.queueMidiEvent(0, status, d1, d2);
    return render(plugin, demo, 512, {}, DemoSignal::tempo, DemoSignal::defaultSampleRate);
}

} // namespace

TEST(FactoryPresets, InstalledAtFirstStartWithoutReplacingTheUsersFiles)
{
    const std::string data = productDataFolder();
    const std::string ef = data + "Component Presets/EF/Default.ef";
    fs::create_directories(fs::path(ef).parent_path());
    std::ofstream(ef) << "the user's own";

    OstrandPlugin plugin;
    PresetLibrary& library = PresetLibrary::shared();
    const PresetManager& presets = library.presets();
    EXPECT_EQ(presets.getChildren().size(), 11u);
    EXPECT_TRUE(presets.getChildren().front()->isPinned());
    EXPECT_NE(presets.findByName("Clean"), nullptr);
    EXPECT_GE(presets.getFlatList().size(), 50u);
    for (int kind = 0; kind < 5; ++kind)
        EXPECT_NE(library.section(kind)->findByName("Default"), nullptr) << kind;
    EXPECT_TRUE(library.section(OstrandPlugin::slotKind)->getFlatList().empty());

    std::ifstream kept(ef);
    std::string content;
    std::getline(kept, content);
    EXPECT_EQ(content, "the user's own");
    // A second install finds everything in place and writes nothing.
    EXPECT_EQ(library.installFactoryContent(), 0);
}

TEST(FactoryPresets, EveryPresetLoadsAndPlaysSomethingOfItsOwn)
{
    const OstrandPlugin defaults;
    OstrandPlugin scratch;
    const std::vector<FactoryPreset> presets = readFactoryPresets(scratch);
    ASSERT_GE(presets.size(), 50u);
    EXPECT_EQ(presets.front().folder, "Getting Started");
    for (int i = 0; i < scratch.getParameterCount(); ++i)
        EXPECT_EQ(scratch.getParameter(i)->getValue(), defaults.getParameter(i)->getValue()) << i;

    // The first three seconds of the demo, one signal a channel.
    DemoSignal demo;
    const int frames = 3 * DemoSignal::defaultSampleRate;
    std::vector<float> interleaved(2 * static_cast<std::size_t>(frames));
    ASSERT_EQ(demo.read(interleaved.data(), frames), frames);
    std::vector<Signal> input(2, Signal(static_cast<std::size_t>(frames)));
    for (std::size_t i = 0; i < interleaved.size(); ++i)
        input[i % 2][i / 2] = interleaved[i];

    std::vector<std::vector<Signal>> outputs;
    std::set<std::string> names;
    for (const FactoryPreset& preset : presets) {
        EXPECT_TRUE(names.insert(preset.name).second) << preset.name << " twice";
        EXPECT_EQ(preset.values.size(), 666u) << preset.path;
        const std::vector<Signal>& y = outputs.emplace_back(play(preset, input));
        EXPECT_TRUE(std::all_of(y[0].begin(), y[0].end(), isFiniteSample) && std::all_of(y[1].begin(), y[1].end(), isFiniteSample))
            << preset.path;
        EXPECT_GT(std::hypot(rms(y[0]), rms(y[1])), 0.003 * std::sqrt(2.0)) << preset.path << " is silent";
    }
    for (std::size_t a = 0; a < outputs.size(); ++a)
        for (std::size_t b = a + 1; b < outputs.size(); ++b)
            EXPECT_GT(std::max(maxDifference(outputs[a][0], outputs[b][0]), maxDifference(outputs[a][1], outputs[b][1])),
                      1e-3)
                << presets[a].path << " and " << presets[b].path << " sound the same";
}
