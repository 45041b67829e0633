// Replays the regression corpora of the files a user's folders hold that
// the plug-in reads at start: the settings store (settings-corpus) and the
// MIDI controller map (controller-map-corpus). Crafted files say what they
// are in their names, "ok-..." must read and "bad-..." must hold nothing
// usable; the rest are inputs the fuzzers (./dev fuzz settings controllers)
// found worth keeping. Every file must leave the reader's promises intact.
#include "fuzz/ControllerMapChecks.h"
#include "fuzz/SettingsStoreChecks.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

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
