// Replays the regression corpora of the files a user's folders hold that
// the plug-in reads at start: the settings store (settings-corpus) and the
// MIDI controller map (controller-map-corpus). Crafted files say what they
// are in their names, "ok-..." must read and "bad-..." must hold nothing
// usable; the rest are inputs the fuzzers (./dev fuzz settings controllers)
// found worth keeping. Every file must leave the reader's promises intact.
#include "TestFiles.h"
#include "framework/FloatPluginParameter.h"
#include "framework/GenericPlugin.h"
#include "framework/MidiControllerMap.h"
#include "framework/MidiVirtualPluginParameter.h"
#include "fuzz/ControllerMapChecks.h"
#include "fuzz/SettingsStoreChecks.h"
#include "persistence/MidiControllerMapFile.h"
#include "persistence/UserSettingsStorage.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> corpus(const char* folder)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    return files;
}

} // namespace

TEST(StoredFileCorpus, SettingsStoreKeepsItsPromisesForEveryFile)
{
    int crafted = 0;
    const auto files = corpus(OSTRAND_SETTINGS_CORPUS);
    for (const fs::path& file : files) {
        const std::string name = file.filename().string();
        const std::string bytes = testsupport::readFile(file);
        EXPECT_EQ(settingschecks::check(bytes), "") << name;
        const std::size_t values = SettingsStore::parse(bytes).size();
        if (name.starts_with("ok-")) {
            ++crafted;
            EXPECT_GT(values, 0u) << name;
        } else if (name.starts_with("bad-")) {
            ++crafted;
            EXPECT_EQ(values, 0u) << name;
        }
    }
    EXPECT_GE(crafted, 7);
    EXPECT_GE(files.size(), 7u);
}

TEST(StoredFileCorpus, ControllerMapKeepsItsPromisesForEveryFile)
{
    TemporaryHome home;
    const std::string scratch = home.path("scratch.mvm").string();
    int crafted = 0;
    const auto files = corpus(OSTRAND_CONTROLLER_MAP_CORPUS);
    for (const fs::path& file : files) {
        const std::string name = file.filename().string();
        EXPECT_EQ(controllermapchecks::check(testsupport::readFile(file), scratch), "") << name;
        MidiControllerMap map;
        const bool read = readMidiControllerMap(file.string(), map);
        if (name.starts_with("ok-")) {
            ++crafted;
            EXPECT_TRUE(read) << name;
        } else if (name.starts_with("bad-")) {
            ++crafted;
            EXPECT_FALSE(read) << name;
        }
    }
    EXPECT_GE(crafted, 12);
    EXPECT_GE(files.size(), 12u);
}

namespace {

// The file as another program would write it, byte by byte.
std::string fileBytes(const std::string& magic, const std::vector<std::int32_t>& ids)
{
    std::string bytes = magic;
    auto put = [&bytes](std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int shift = 0; shift < 32; shift += 8)
            bytes += static_cast<char>((u >> shift) & 0xFF);
    };
    put(1);
    for (std::int32_t id : ids)
        put(id);
    return bytes;
}

std::vector<std::int32_t> noneExcept(std::initializer_list<std::pair<int, std::int32_t>> entries)
{
    std::vector<std::int32_t> ids(127, -1);
    for (auto [controller, id] : entries)
        ids[static_cast<std::size_t>(controller)] = id;
    return ids;
}

std::vector<std::int32_t> entries(const MidiControllerMap& map)
{
    std::vector<std::int32_t> ids;
    for (int c = 0; c < MidiControllerMap::controllerCount; ++c)
        ids.push_back(map.get(c));
    return ids;
}

struct VirtualRecorder final : MidiVirtualPluginParameter {
    using MidiVirtualPluginParameter::MidiVirtualPluginParameter;
    void setNormalized(float x) override { last = x; }
    float last = -1.0f;
};

// Six parameters from 0 to 10 and one virtual parameter (id 0x100000),
// registered before initialize as a real plug-in does.
class MapPlugin final : public GenericPlugin {
public:
    MapPlugin()
    {
        for (int i = 0; i < 6; ++i) {
            auto p = std::make_unique<FloatPluginParameter>(this, "P" + std::to_string(i));
            p->setRange(0.0f, 10.0f);
            parameters.push_back(std::move(p));
        }
        link = std::make_unique<VirtualRecorder>(*this, "Link");
        initialize("Ostrand");
        applyAllParameters();
    }
    ~MapPlugin() override { terminate(); }
    std::string presetMagic() const override { return "Test"; }

    void controller(int number, int value)
    {
        queueMidiEvent(0, 0xB0, number, value);
        process(nullptr, 0, nullptr, 0, 16);
    }
    float value(int i) const { return parameters[static_cast<std::size_t>(i)]->getValue(); }

    std::vector<std::unique_ptr<FloatPluginParameter>> parameters;
    std::unique_ptr<VirtualRecorder> link;
};

class MidiControllerMapFile : public testing::Test {
protected:
    void SetUp() override { PluginStorage::install(&storage); }
    void TearDown() override { PluginStorage::install(nullptr); }

    std::filesystem::path mapFile() const
    {
        return home.path("data/Merovance/Ostrand 2/MidiControllerMap.mvm");
    }

    TemporaryHome home;
    UserSettingsStorage storage;
};

} // namespace

// The file lives in the product's data folder, which saving creates, and
// holds exactly the bytes of the format; reading it back gives the same map.
TEST_F(MidiControllerMapFile, SavesTheFormatInTheDataFolderAndReadsItBack)
{
    EXPECT_EQ(midiControllerMapPath(), mapFile().string());
    MidiControllerMap map;
    map.assign(0, 3);
    map.assign(7, 0x100000);
    map.assign(126, 0);
    ASSERT_FALSE(std::filesystem::exists(mapFile().parent_path()));
    ASSERT_TRUE(writeMidiControllerMap(midiControllerMapPath(), map));
    EXPECT_EQ(testsupport::readFile(mapFile()),
              fileBytes("MVCM", noneExcept({{0, 3}, {7, 0x100000}, {126, 0}})));

    MidiControllerMap back;
    back.assign(5, 5);
    ASSERT_TRUE(readMidiControllerMap(midiControllerMapPath(), back));
    EXPECT_EQ(entries(back), entries(map));

    // The version is not checked on reading.
    std::string otherVersion = fileBytes("MVCM", noneExcept({{9, 2}}));
    otherVersion[4] = 7;
    testsupport::writeFile(mapFile(), otherVersion);
    ASSERT_TRUE(readMidiControllerMap(midiControllerMapPath(), back));
    EXPECT_EQ(entries(back), noneExcept({{9, 2}}));

    // Nowhere to write: no data folder known, or a file where the folder belongs.
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("HOME");
    EXPECT_EQ(midiControllerMapPath(), "");
    EXPECT_FALSE(writeMidiControllerMap(midiControllerMapPath(), map));
    EXPECT_FALSE(readMidiControllerMap(midiControllerMapPath(), back));
    testsupport::writeFile(home.path("blocked"), "x");
    EXPECT_FALSE(writeMidiControllerMap(home.path("blocked/MidiControllerMap.mvm").string(), map));
}

// The map as the plug-ins see it with the storage installed: loaded by the
// first instance, shared by all, learned through the pending target,
// saved and reverted.
TEST_F(MidiControllerMapFile, PluginsShareLearnSaveAndRevertTheMap)
{
    // An id past the six parameters and a virtual id nobody registered name
    // nothing and are dropped on loading.
    testsupport::writeFile(mapFile(),
                             fileBytes("MVCM", noneExcept({{1, 2}, {3, 6}, {4, 0x100000}, {5, 0x100001}})));
    auto a = std::make_unique<MapPlugin>();
    auto b = std::make_unique<MapPlugin>();
    MidiControllerMap* map = GenericPlugin::getSharedControllerMap();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(entries(*map), noneExcept({{1, 2}, {4, 0x100000}}));

    // Learned in one instance, it moves the parameter at that index in both;
    // it leaves the controller it answered to before.
    a->getEventReceiver()->setMidiLearnTarget(2);
    a->controller(7, 127);
    EXPECT_EQ(map->get(7), 2);
    EXPECT_EQ(map->get(1), -1);
    EXPECT_FLOAT_EQ(a->value(2), 10.0f);
    b->controller(7, 0);
    EXPECT_FLOAT_EQ(b->value(2), 0.0f);
    b->controller(4, 127);
    EXPECT_FLOAT_EQ(b->link->last, 1.0f);

    // Save, change, revert: exactly the saved map comes back.
    const std::vector<std::int32_t> saved = entries(*map);
    a->saveMidiControllerMap();
    EXPECT_EQ(testsupport::readFile(mapFile()), fileBytes("MVCM", saved));
    map->assign(9, 1);
    map->clear(7);
    b->revertMidiControllerMap();
    EXPECT_EQ(entries(*map), saved);

    // A file of another kind is ignored: the revert leaves the map empty,
    // and saving writes a valid file over it again.
    testsupport::writeFile(mapFile(), fileBytes("MVCX", noneExcept({{1, 1}})));
    a->revertMidiControllerMap();
    EXPECT_EQ(entries(*map), noneExcept({}));
    map->assign(11, 3);
    a->saveMidiControllerMap();
    EXPECT_EQ(testsupport::readFile(mapFile()), fileBytes("MVCM", noneExcept({{11, 3}})));

    // A missing folder: the revert empties the map, a save creates the folder.
    std::filesystem::remove_all(mapFile().parent_path().parent_path());
    b->revertMidiControllerMap();
    EXPECT_EQ(entries(*map), noneExcept({}));
    map->assign(12, 0x100000);
    b->saveMidiControllerMap();
    EXPECT_EQ(testsupport::readFile(mapFile()), fileBytes("MVCM", noneExcept({{12, 0x100000}})));

    // The last instance releases the map; the next first instance reads the file.
    a.reset();
    b.reset();
    EXPECT_EQ(GenericPlugin::getSharedControllerMap(), nullptr);
    MapPlugin c;
    EXPECT_EQ(entries(*GenericPlugin::getSharedControllerMap()), noneExcept({{12, 0x100000}}));
}
