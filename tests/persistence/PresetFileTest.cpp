// Preset files against their byte layout, written out by hand here, and every
// way a file can be wrong: what is applied, what is reported, what is left.
#include "framework/FloatPluginParameter.h"
#include "framework/GenericPlugin.h"
#include "framework/PropPluginParameter.h"
#include "persistence/PresetFile.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Three parameters: a gain in -36..36 (default 0), a position 0..2
// (default 1) and a level 0..1 (default 0.25).
class SmallPlugin final : public GenericPlugin, public GenericPlugin::Adapter {
public:
    SmallPlugin() : gain(this, "Gain"), mode(this, "Mode"), level(this, "Level")
    {
        gain.setRange(-36.0f, 36.0f);
        mode.setRange(0, 2);
        mode.setOptions("A,B,C");
        mode.setDefaultValue(1);
        mode.resetToDefault();
        level.setDefault(0.25f);
        level.resetToDefault();
        initialize("PresetFileTest");
        setAdapter(this);
    }
    ~SmallPlugin() override { setAdapter(nullptr); }
    std::string presetMagic() const override { return "Tst1"; }
    void parameterChanged(int index) override { notified.push_back(index); }
    void presetChanged() override {}
    using GenericPlugin::parameterChanged;

    std::vector<float> values() const { return {gain.getValue(), mode.getValue(), level.getValue()}; }
    void set(float g, float m, float l)
    {
        gain.setValue(g, 0);
        mode.setValue(m, 0);
        level.setValue(l, 0);
        notified.clear();
    }

    FloatPluginParameter gain;
    PropPluginParameter<int> mode;
    FloatPluginParameter level;
    std::vector<int> notified;
};

void append(std::string& bytes, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void appendFloat(std::string& bytes, float f)
{
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    append(bytes, v);
}

std::string file(const char* magic, std::int32_t version, std::int32_t count, const std::vector<float>& values)
{
    std::string bytes(magic, 4);
    append(bytes, static_cast<std::uint32_t>(version));
    append(bytes, static_cast<std::uint32_t>(count));
    for (float v : values)
        appendFloat(bytes, v);
    return bytes;
}

struct Load {
    bool ok;
    std::vector<float> values;
    std::vector<int> notified;
};

Load load(const TemporaryHome& home, const std::string& bytes)
{
    SmallPlugin plugin;
    plugin.set(12.0f, 2.0f, 0.5f);
    const auto path = home.path("preset.bin");
    testsupport::writeFile(path, bytes);
    CollectionPresetLoader loader(PresetParameters::all(plugin));
    const bool ok = loadPresetFile(path.string(), loader, plugin, 3);
    return {ok, plugin.values(), plugin.notified};
}

} // namespace

TEST(PresetFile, SavedBytesFollowTheLayoutAndLoadBackInOneNotification)
{
    TemporaryHome home;
    SmallPlugin source;
    source.set(-7.5f, 2.0f, 0.125f);
    const auto path = home.path("presets/saved.bin");
    std::filesystem::create_directories(path.parent_path());
    ASSERT_TRUE(savePresetFile(path.string(), PresetParameters::all(source), 3));
    EXPECT_EQ(testsupport::readFile(path), file("Tst1", 3, 3, {-7.5f, 2.0f, 0.125f}));

    const Load loaded = load(home, testsupport::readFile(path));
    EXPECT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.values, (std::vector<float>{-7.5f, 2.0f, 0.125f}));
    // The host hears of the whole load once, as "all parameters".
    EXPECT_EQ(loaded.notified, std::vector<int>{-1});

    // A save that cannot happen (no such folder) reports it and leaves
    // nothing behind.
    EXPECT_FALSE(savePresetFile(home.path("missing/x.bin").string(), PresetParameters::all(source), 3));
    EXPECT_FALSE(std::filesystem::exists(home.path("missing")));
}

TEST(PresetFile, EveryDamageBehavesAsDocumented)
{
    TemporaryHome home;
    const std::vector<float> untouched{12.0f, 2.0f, 0.5f};
    const std::vector<float> defaults{0.0f, 1.0f, 0.25f};

    // Refused files change nothing and tell no one. (Which damage refuses a
    // file: the crafted files of the preset corpus, tests/effect.)
    for (const std::string& bytes : {std::string(), file("Tst1", 3, 3, {1, 0}).substr(0, 19)}) {
        const Load r = load(home, bytes);
        EXPECT_FALSE(r.ok) << bytes.size();
        EXPECT_EQ(r.values, untouched) << bytes.size();
        EXPECT_TRUE(r.notified.empty());
    }

    // More values than parameters: the rest is ignored.
    Load r = load(home, file("Tst1", 3, 5, {1, 0, 1, 99, 99}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.values, (std::vector<float>{1, 0, 1}));
    // Fewer: the others return to their defaults.
    r = load(home, file("Tst1", 3, 1, {-3}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.values, (std::vector<float>{-3, 1, 0.25f}));
    // Out-of-range values are clamped, positions rounded; NaN gives the
    // default, whatever was there before.
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float inf = std::numeric_limits<float>::infinity();
    r = load(home, file("Tst1", 3, 3, {inf, 1.6f, nan}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.values, (std::vector<float>{36, 2, 0.25f}));
    r = load(home, file("Tst1", 3, 3, {-1e30f, -7, 1e30f}));
    EXPECT_EQ(r.values, (std::vector<float>{-36, 0, 1}));
    // A negative count holds no values: all defaults, and the load holds.
    r = load(home, file("Tst1", 3, -4, {1, 1, 1}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.values, defaults);
}
