// The effect's presets: full presets of every generation, section presets,
// the "Default Setting" start, "Default" section presets and program
// changes, all inside the test's own home.
#include "AllocationCounter.h"
#include "EffectHarness.h"

#include "effect/LegacyPresetLayouts.h"
#include "effect/SectionPresetKind.h"
#include "persistence/Folders.h"
#include "persistence/PresetFile.h"
#include "persistence/PresetLibrary.h"
#include "persistence/SectionPresets.h"

#include <filesystem>
#include <random>

using namespace effecttest;
namespace fs = std::filesystem;

namespace {

std::vector<float> values(const GenericPlugin& p)
{
    std::vector<float> v;
    for (int i = 0; i < p.getParameterCount(); ++i)
        v.push_back(p.getParameter(i)->getValue());
    return v;
}

std::string text(const GenericPlugin& p, const std::string& name)
{
    return parameter(p, name).getText();
}

std::string presetFolder()
{
    const std::string folder = PresetLibrary::shared().getPath();
    fs::create_directories(folder);
    return folder;
}

// A legacy file: every field at its default, then the given fields.
std::string legacyFile(const OstrandPlugin& p, const LegacyLayout& layout,
                       const std::vector<std::pair<std::string, float>>& fields)
{
    std::vector<float> v;
    for (const LegacyField& f : layout.fields)
        v.push_back(f.parameter >= 0 ? p.getParameter(f.parameter)->getDefault() : f.defaultValue);
    for (const auto& [name, value] : fields) {
        const int i = layout.find(name);
        EXPECT_GE(i, 0) << name;
        v[static_cast<std::size_t>(std::max(i, 0))] = value;
    }
    return legacyPresetBytes(layout, v);
}

std::string write(const std::string& name, const std::string& bytes)
{
    const std::string path = presetFolder() + name;
    testsupport::writeFile(path, bytes);
    return path;
}

// The previous generation's settings name its preset folder. The shared
// preset library reads them once per process, with the first instance, so
// they are in place before any test of this program makes one.
struct PreviousGeneration : testing::Environment {
    void SetUp() override
    {
        const std::string old = userConfigFolder() + "old presets/";
        testsupport::writeFile(old + "Old Favourite.mvp", "");
        testsupport::writeFile(userConfigFolder() + "Merovance/Ostrand/1.0.settings",
                               "merovance-settings 1\nsz \"PresetFolder\" \"" + old + "\"\n");
    }
};
const testing::Environment* const previousGeneration = testing::AddGlobalTestEnvironment(new PreviousGeneration);

} // namespace

TEST(OstrandPresets, FullPresetHoldsEveryParameterExactly)
{
    OstrandPlugin a;
    std::mt19937 random(7);
    for (int i = 0; i < a.getParameterCount(); ++i) {
        AbstractPluginParameter* p = a.getParameter(i);
        p->setValue(p->denormalize(std::uniform_real_distribution<float>(0.0f, 1.0f)(random)), 0);
    }
    const std::string path = presetFolder() + "Everything.mvp";
    ASSERT_TRUE(a.savePreset(path));
    const std::string bytes = testsupport::readFile(path);
    ASSERT_EQ(bytes.size(), 2676u);
    EXPECT_EQ(bytes.substr(0, 12), std::string("MO2l\2\0\0\0\x9a\2\0\0", 12));
    EXPECT_EQ(a.getPresetState().getName(), "Everything");
    EXPECT_EQ(PresetLibrary::shared().presets().findByName("Everything")->path, path);

    OstrandPlugin b;
    set(b, "Mix=20");
    ASSERT_TRUE(b.loadPreset(path));
    EXPECT_EQ(values(b), values(a));
    EXPECT_EQ(b.getPresetState().getLocation(), path);
    EXPECT_FALSE(b.getPresetState().isModified());

    // Not a preset of any generation, or one cut short: refused, nothing
    // changed.
    set(b, "Mix=20");
    const std::vector<float> before = values(b);
    for (const std::string& junk :
         {std::string("MO2l"), std::string(2676, 'x'), std::string("MOst\1\0\0\0"), bytes.substr(0, 2000)}) {
        EXPECT_FALSE(b.loadPreset(write("Junk.mvp", junk)));
        EXPECT_EQ(values(b), before);
    }
    EXPECT_EQ(b.getPresetState().getName(), "Everything");
}

TEST(OstrandPresets, SectionPresetsHoldOneComponentInstance)
{
    OstrandPlugin p;
    const fs::path sections = fs::path(PresetLibrary::shared().section(0)->getPath()).parent_path().parent_path();
    const std::size_t counts[] = {39, 71, 6, 3, 2, 121};
    for (const SectionPresetKind& kind : sectionPresetKinds) {
        ComponentPresetHandler handler(p, kind.componentKind, 0);
        const fs::path file = sections / kind.folder / (std::string("Saved") + kind.extension);
        ASSERT_TRUE(handler.save(file.string())) << kind.folder;
        EXPECT_EQ(fs::file_size(file), 12 + 4 * counts[kind.componentKind]) << kind.folder;
        EXPECT_EQ(handler.manager()->findByName("Saved")->path, file.string());
    }

    // XLFO 2's settings into XLFO 5; nothing else moves.
    set(p, "XLFO 2 Sync Mode=1/8");
    set(p, "XLFO 2 Step 3 Value=-0.75");
    set(p, "Num Active XLFO 2 Steps=5");
    const std::string xlfo = (sections / "XLFO" / "Busy.xlfo").string();
    ASSERT_TRUE(ComponentPresetHandler(p, OstrandPlugin::xlfoKind, 1).save(xlfo));
    std::vector<float> expected = values(p);
    ASSERT_TRUE(ComponentPresetHandler(p, OstrandPlugin::xlfoKind, 4).load(xlfo));
    for (const auto& [from, to] : {std::pair{"XLFO 2 Sync Mode", "XLFO 5 Sync Mode"},
                                   {"XLFO 2 Step 3 Value", "XLFO 5 Step 3 Value"},
                                   {"Num Active XLFO 2 Steps", "Num Active XLFO 5 Steps"}})
        expected[static_cast<std::size_t>(p.findParameter(to))] = parameter(p, from).getValue();
    EXPECT_EQ(values(p), expected);

    // A full preset is no section preset (version 2), nor is a file of
    // another plug-in.
    ASSERT_TRUE(p.savePreset(presetFolder() + "Full.mvp"));
    EXPECT_FALSE(ComponentPresetHandler(p, OstrandPlugin::xlfoKind, 0).load(presetFolder() + "Full.mvp"));
    EXPECT_FALSE(ComponentPresetHandler(p, OstrandPlugin::egKind, 0).load(xlfo + ".missing"));

    // A new source starts from the section's "Default" when there is one.
    EXPECT_TRUE(p.addSource(OstrandPlugin::efKind));
    EXPECT_EQ(text(p, "EF 1 Release"), "0.050 s");
    set(p, "EF 1 Release=0.4 s");
    ASSERT_TRUE(ComponentPresetHandler(p, OstrandPlugin::efKind, 0).save((sections / "EF" / "Default.ef").string()));
    EXPECT_TRUE(p.addSource(OstrandPlugin::efKind));
    EXPECT_EQ(text(p, "Num Active EFs"), "2");
    EXPECT_EQ(text(p, "EF 2 Release"), text(p, "EF 1 Release"));
    EXPECT_TRUE(p.addSource(OstrandPlugin::midiKind));
    EXPECT_EQ(text(p, "Num Active MIDI Sources"), "1");
    EXPECT_FALSE(p.addSource(OstrandPlugin::slotKind));
    fs::remove(sections / "EF" / "Default.ef");
}

TEST(OstrandPresets, EarlierGenerationsLoadAndAreConverted)
{
    OstrandPlugin p;
    EXPECT_EQ(version1Layout(p).fields.size(), 660u);
    EXPECT_EQ(firstGenerationLayout(p, 1).fields.size(), 53u);
    EXPECT_EQ(firstGenerationLayout(p, 0).fields.size(), 42u);

    // Version 1 of this generation: five EGs, sources and targets numbered
    // without EG 6.
    set(p, "EG 6 Attack=0.5");
    set(p, "Input Pan=0.3");
    const std::string v1 = write("V1.mvp", legacyFile(p, version1Layout(p),
                                                       {{"Input Pan", -0.5f},
                                                        {"Num Active Slots", 2},
                                                        {"Slot 1 Source", 12}, // EF 1
                                                        {"Slot 1 Target", 55}, // EF 1 Attack
                                                        {"Slot 1 Level", 0.5f},
                                                        {"Slot 2 Source", 11}, // EG 5
                                                        {"Slot 2 Target", 91}, // Slot 24 Level
                                                        {"EF 4 Release", 0.75f}}));
    ASSERT_TRUE(p.loadPreset(v1));
    EXPECT_EQ(text(p, "Slot 1 Source"), "EF 1");
    EXPECT_EQ(text(p, "Slot 1 Target"), "EF 1 Attack");
    EXPECT_EQ(text(p, "Slot 2 Source"), "EG 5");
    EXPECT_EQ(text(p, "Slot 2 Target"), "Slot 24 Level");
    EXPECT_EQ(parameter(p, "Slot 1 Level").getValue(), 0.5f);
    EXPECT_EQ(parameter(p, "EF 4 Release").getValue(), 0.75f);
    EXPECT_EQ(parameter(p, "Input Pan").getValue(), -0.5f);
    EXPECT_EQ(parameter(p, "EG 6 Attack").getValue(), 0.0f);
    EXPECT_EQ(p.getPresetState().getName(), "V1");

    // The first generation, version 1.
    set(p, "Output Pan=0.25");
    const std::string first = write(
        "First.mvp", legacyFile(p, firstGenerationLayout(p, 1),
                                {{"Filters", 3},
                                 {"Filter 1 Slope", 1},
                                 {"Filter 2 Pan", 0.5f},
                                 {"Filter 1 LFO Depth", -0.5f},
                                 {"Filter 3 Env Depth", 0.25f},
                                 {"LFO Rate", 2.0f},
                                 {"LFO Sync", 5}, // 1/4 Bar
                                 {"LFO Shape", 2},
                                 {"Env Attack", 0.05f},
                                 {"Soft Clip", 1}}));
    ASSERT_TRUE(p.loadPreset(first));
    EXPECT_EQ(text(p, "Num Active Filters"), "3");
    EXPECT_EQ(text(p, "Filter 1 Slope"), "24");
    EXPECT_EQ(text(p, "Filter 2 Slope"), "12");
    EXPECT_EQ(parameter(p, "Filter 2 Pan").getValue(), 1.75f);
    EXPECT_EQ(text(p, "Num Active XLFOs"), "1");
    EXPECT_EQ(text(p, "XLFO 1 Frequency"), "2.000 Hz");
    EXPECT_EQ(text(p, "XLFO 1 Sync Mode"), "1/4");
    EXPECT_EQ(text(p, "XLFO 1 Step 2 Value"), "-1.000");
    EXPECT_EQ(text(p, "EF 1 Attack"), "0.050 s");
    EXPECT_EQ(text(p, "Num Active Slots"), "2");
    EXPECT_EQ(text(p, "Slot 1 Source") + " > " + text(p, "Slot 1 Target"), "XLFO 1 > Filter 1 Freq");
    EXPECT_EQ(text(p, "Slot 1 Inverted"), "Inverted");
    EXPECT_EQ(parameter(p, "Slot 1 Level").getValue(), 0.5f);
    EXPECT_EQ(text(p, "Slot 2 Source") + " > " + text(p, "Slot 2 Target"), "EF 1 > Filter 3 Freq");
    // Whatever the previous preset set and the old one did not hold is back
    // at its default.
    EXPECT_EQ(parameter(p, "Output Pan").getValue(), 0.0f);
    EXPECT_EQ(parameter(p, "Slot 24 Level").getValue(), 0.0f);

    // Version 0 had no pans: they stay centred.
    ASSERT_TRUE(p.loadPreset(write("Older.mvp", legacyFile(p, firstGenerationLayout(p, 0), {{"Filter 1 Slope", 1}}))));
    EXPECT_EQ(text(p, "Filter 1 Slope"), "24");
    EXPECT_EQ(parameter(p, "Filter 2 Pan").getValue(), 0.0f);
    EXPECT_EQ(text(p, "Num Active Slots"), "0");

    // A legacy file that ends early is refused and changes nothing.
    const std::vector<float> before = values(p);
    const std::string cut = legacyFile(p, firstGenerationLayout(p, 1), {{"Filter 1 Peak", 0.5f}});
    EXPECT_FALSE(p.loadPreset(write("Cut.mvp", cut.substr(0, cut.size() - 8))));
    EXPECT_EQ(values(p), before);
    EXPECT_NE(parameter(p, "Filter 1 Peak").getValue(), 0.5f);
}

TEST(OstrandPresets, NewInstancesStartFromDefaultSettingAndProgramChangesSwitchAtTheirSample)
{
    // The previous generation's preset folder joins the list after the main tree.
    OstrandPlugin first;
    const PresetManager& presets = PresetLibrary::shared().presets();
    ASSERT_EQ(presets.getAdditionalFolderCount(), 1);
    EXPECT_EQ(presets.getAdditionalFolder(0).getDisplayName(), "V1 Preset Folder");
    EXPECT_EQ(presets.getFlatList().back()->name, "Old Favourite");

    set(first, "Mix=40");
    ASSERT_TRUE(first.savePreset(presetFolder() + "Default Setting.mvp"));
    set(first, "Mix=70");
    ASSERT_TRUE(first.savePreset(presetFolder() + "Bright.mvp"));

    OstrandPlugin second;
    OstrandPlugin third;
    EXPECT_EQ(text(second, "Mix"), "40.000 %");
    EXPECT_EQ(second.getPresetState().getName(), "Default Setting");
    EXPECT_FALSE(second.getPresetState().isModified());

    // Program 0 is "Bright", the first in flat order (the old folder's
    // preset comes last). It switches at its sample in the middle of a
    // large block, without allocating: as if the preset had been loaded
    // between two blocks meeting there.
    constexpr int n = 8192;
    constexpr int k = 3001;
    const Signal in = noise(n, 11);
    Signal heard(n), right(n);
    const float* inputs[] = {in.data(), in.data()};
    float* outputs[] = {heard.data(), right.data()};
    second.queueMidiEvent(k, 0xC0, 0, 0);
    {
        testsupport::AllocationScope scope;
        second.process(inputs, 2, outputs, 2, n);
        EXPECT_TRUE(scope.count() == 0 || !testsupport::allocationCountingAvailable());
    }
    EXPECT_EQ(text(second, "Mix"), "70.000 %");
    second.deliverPendingNotifications();
    EXPECT_EQ(second.getPresetState().getName(), "Bright");
    EXPECT_FALSE(second.getPresetState().modified.get());
    const Signal head(in.begin(), in.begin() + k), rest(in.begin() + k, in.end());
    Signal expected = render(third, {head, head}, k)[0];
    ASSERT_TRUE(third.loadPreset(presets.getFlatList()[0]->path));
    const Signal after = render(third, {rest, rest}, n - k)[0];
    expected.insert(expected.end(), after.begin(), after.end());
    EXPECT_EQ(heard, expected);

    // A host restoring its session names the preset; the place follows.
    PresetLibrary::shared().restorePresetName(second, "Default Setting");
    EXPECT_EQ(second.getPresetState().getLocation(), presetFolder() + "Default Setting.mvp");
    PresetLibrary::shared().restorePresetName(second, "Gone Since");
    EXPECT_EQ(second.getPresetState().getName(), "Gone Since");
    EXPECT_EQ(second.getPresetState().getLocation(), "");
    fs::remove(presetFolder() + "Default Setting.mvp"); // later instances start from the defaults again
}
