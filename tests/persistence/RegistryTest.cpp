#include "persistence/RegistryReader.h"
#include "persistence/RegistryWriter.h"
#include "persistence/SettingsLocation.h"
#include "persistence/SettingsStore.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

const std::string key = "Software\\Merovance\\Ostrand\\2.0";

class Registry : public ::testing::Test {
protected:
    TemporaryHome home;
    std::filesystem::path userStore = home.path("config/Merovance/Ostrand/2.0.settings");

    RegistryReader reader{RegistryRoot::currentUser, key};
    RegistryWriter writer{key};

    void writeStore(const std::string& body) { testsupport::writeFile(userStore, body); }
    std::string storeText() const { return testsupport::readFile(userStore); }
};

} // namespace

TEST(SettingsLocation, KeyPathsAndTheirFiles)
{
    EXPECT_EQ(settingsKeyPath("Ostrand", 2), "Software\\Merovance\\Ostrand\\2.0");
    EXPECT_EQ(settingsKeyPath("Ostrand", 1), "Software\\Merovance\\Ostrand\\1.0");
    EXPECT_EQ(settingsStoreName("Software\\Merovance\\Ostrand\\2.0"), "Merovance/Ostrand/2.0.settings");
    EXPECT_EQ(settingsStoreName("\\SOFTWARE\\\\Merovance\\Ostrand\\"), "Merovance/Ostrand.settings");
    EXPECT_EQ(settingsStoreName("Merovance\\X"), "Merovance/X.settings");
    for (const char* bad : {"", "Software", "Software\\..\\x", "Software\\a/b", "\\.\\"})
        EXPECT_EQ(settingsStoreName(bad), "") << bad;
}

TEST_F(Registry, ValuesRoundTripWithTheirTypes)
{
    EXPECT_EQ(writer.serializeInt("Int", -42, 0), -42);
    EXPECT_TRUE(writer.serializeBool("Flag", true, false));
    EXPECT_EQ(writer.serializeDouble("Tenth", 0.1, 0.0), 0.1);
    writer.serializeDouble("Big", 1e300, 0.0);
    writer.serializeDouble("Infinite", INFINITY, 0.0);
    writer.serializeDouble("NegInfinite", -INFINITY, 0.0);
    EXPECT_EQ(writer.serializeString("Empty", "", "x"), "");
    writer.serializeString("Path", "/home/me/Ostrand Presets/", "");
    std::vector<std::uint8_t> bytes{0, 1, 0xfe, 0xff};
    writer.serializeBinary("Bytes", bytes);
    std::vector<std::uint8_t> none;
    writer.serializeBinary("NoBytes", none);

    // (How each type is written is the settings store's and the serializer's
    // test; a type written as another would read back as the default.)
    EXPECT_EQ(reader.serializeInt("Int", 0, 7), -42);
    EXPECT_TRUE(reader.serializeBool("Flag", false, false));
    for (const auto& [name, value] :
         {std::pair{"Tenth", 0.1}, {"Big", 1e300}, {"Infinite", INFINITY}, {"NegInfinite", -INFINITY}})
        EXPECT_EQ(reader.serializeDouble(name, 0, 5), value) << name;
    EXPECT_EQ(reader.serializeString("Empty", "", "default"), "");
    EXPECT_EQ(reader.serializeString("PATH", "", ""), "/home/me/Ostrand Presets/");
    std::vector<std::uint8_t> read{9};
    reader.serializeBinary("Bytes", read);
    EXPECT_EQ(read, bytes);
    reader.serializeBinary("NoBytes", read);
    EXPECT_TRUE(read.empty());
    EXPECT_FALSE(reader.isWriting());
    EXPECT_TRUE(writer.isWriting());
}

TEST_F(Registry, AValueOfAnotherTypeReadsAsTheDefault)
{
    writeStore("merovance-settings 1\n"
               "sz \"BoolAsText\" \"1\"\n"
               "sz \"IntAsText\" \"5\"\n"
               "dword \"TextAsDword\" 3\n"
               "sz \"TrailingLetter\" \"0.5x\"\n"
               "sz \"Infinity\" \"INF\"\n"
               "dword \"DoubleAsDword\" 2\n"
               "binary \"TextAsBinary\" 41\n");
    EXPECT_FALSE(reader.serializeBool("BoolAsText", false, false));
    EXPECT_TRUE(reader.serializeBool("BoolAsText", false, true));
    EXPECT_EQ(reader.serializeInt("IntAsText", 0, 9), 9);
    EXPECT_EQ(reader.serializeString("TextAsDword", "", "d"), "d");
    EXPECT_EQ(reader.serializeDouble("TrailingLetter", 0, 0.25), 0.25);
    EXPECT_EQ(reader.serializeDouble("Infinity", 0, 0.25), INFINITY);
    EXPECT_EQ(reader.serializeDouble("DoubleAsDword", 0, 0.25), 0.25);
    EXPECT_EQ(reader.serializeString("TextAsBinary", "", "d"), "d");
    std::vector<std::uint8_t> untouched{7};
    reader.serializeBinary("IntAsText", untouched);
    EXPECT_EQ(untouched, std::vector<std::uint8_t>{7});
    EXPECT_EQ(reader.serializeInt("Missing", 1, 2), 2);

    RegistryReader otherKey(RegistryRoot::currentUser, "Software\\Merovance\\Nothing\\2.0");
    EXPECT_EQ(otherKey.serializeString("BoolAsText", "", "none"), "none");
}

TEST_F(Registry, DamagedStoreGivesDefaultsAndTheNextWriteRepairsIt)
{
    std::string garbage("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18);
    writeStore(garbage);
    EXPECT_EQ(reader.serializeInt("Int", 0, 3), 3);
    EXPECT_EQ(reader.serializeString("Path", "", "p"), "p");
    writer.serializeInt("Int", 11, 0);
    SettingsStore::Values repaired = SettingsStore::parse(storeText());
    ASSERT_EQ(repaired.size(), 1u);
    EXPECT_EQ(repaired["Int"], SettingsStore::Value(SettingsStore::Dword(11)));
    EXPECT_EQ(reader.serializeInt("Int", 0, 3), 11);

    // Cut in the middle of the last value: the values before it are kept.
    writeStore("merovance-settings 1\ndword \"Kept\" 5\nsz \"Path\" \"/ho");
    EXPECT_EQ(reader.serializeString("Path", "", "p"), "p");
    writer.serializeString("Other", "o", "");
    EXPECT_EQ(reader.serializeInt("Kept", 0, 0), 5);
    EXPECT_EQ(reader.serializeString("Other", "", ""), "o");
    EXPECT_EQ(storeText().find("/ho"), std::string::npos);
}

TEST_F(Registry, UnwritableStoreIsSkippedWithoutLosingStoredValues)
{
    writer.serializeInt("Kept", 5, 0);

    // A file occupies the folder that a deeper key needs.
    testsupport::writeFile(home.path("config/Merovance/Ostrand/2.0"), "in the way");
    RegistryWriter blocked(key + "\\Sub");
    EXPECT_EQ(blocked.serializeInt("Lost", 1, 0), 1);
    EXPECT_EQ(blocked.serializeString("Lost", "t", ""), "t");
    EXPECT_EQ(RegistryReader(RegistryRoot::currentUser, key + "\\Sub").serializeInt("Lost", 0, -1), -1);

    // The whole configuration folder cannot be created.
    testsupport::writeFile(home.path("file"), "");
    ::setenv("XDG_CONFIG_HOME", home.path("file/config").c_str(), 1);
    EXPECT_EQ(writer.serializeInt("Kept", 6, 0), 6);
    ::setenv("XDG_CONFIG_HOME", home.path("config").c_str(), 1);

    EXPECT_EQ(reader.serializeInt("Kept", 0, 0), 5);
    EXPECT_EQ(testsupport::readFile(home.path("config/Merovance/Ostrand/2.0")), "in the way");
}

TEST_F(Registry, WriteReplacesTheFileInsteadOfOverwritingIt)
{
    writer.serializeString("Name", "first", "");
    std::string before = storeText();
    std::ifstream openedBefore(userStore, std::ios::binary);
    writer.serializeString("Name", "second", "");

    // The old file stays whole for whoever had it open.
    std::stringstream seen;
    seen << openedBefore.rdbuf();
    EXPECT_EQ(seen.str(), before);
    EXPECT_NE(storeText(), before);
    // No temporary file is left behind.
    auto entries = std::distance(std::filesystem::directory_iterator(userStore.parent_path()),
                                 std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 1);
}

TEST_F(Registry, TheMachineStoreIsSearchedAlongTheConfigurationFolders)
{
    // The machine store is searched along XDG_CONFIG_DIRS and never written.
    ::setenv("XDG_CONFIG_DIRS", (home.path("m1").string() + ":relative:" + home.path("m2").string()).c_str(),
             1);
    testsupport::writeFile(home.path("m2/Merovance/Ostrand/2.0.settings"),
                           "merovance-settings 1\nsz \"HelpFileName\" \"/opt/help.html\"\n");
    RegistryReader machine(RegistryRoot::localMachine, key);
    EXPECT_EQ(machine.serializeString("HelpFileName", "", ""), "/opt/help.html");
    testsupport::writeFile(home.path("m1/Merovance/Ostrand/2.0.settings"),
                           "merovance-settings 1\nsz \"HelpFileName\" \"/first.html\"\n");
    EXPECT_EQ(machine.serializeString("HelpFileName", "", ""), "/first.html");
    EXPECT_EQ(reader.serializeString("HelpFileName", "", "user"), "user");
}
