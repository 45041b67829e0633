// The settings file's text: written as the format says, read back whole, and
// read from hand-written, damaged or cut text without ever yielding a value
// that was not written.
#include "TestFiles.h"
#include "framework/ApplicationInfo.h"
#include "framework/FloatPluginParameter.h"
#include "framework/GenericPlugin.h"
#include "framework/GlobalSettings.h"
#include "framework/MidiControllerMap.h"
#include "framework/MidiVirtualPluginParameter.h"
#include "framework/SettingSerializer.h"
#include "fuzz/ControllerMapChecks.h"
#include "fuzz/SettingsStoreChecks.h"
#include "persistence/Folders.h"
#include "persistence/MidiControllerMapFile.h"
#include "persistence/RegistryReader.h"
#include "persistence/RegistryWriter.h"
#include "persistence/SettingsLocation.h"
#include "persistence/SettingsStore.h"
#include "persistence/UserManual.h"
#include "persistence/UserSettings.h"
#include "persistence/UserSettingsStorage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace std::string_literals;

namespace {

SettingsStore::Values sampleValues()
{
    SettingsStore::Values values;
    values["Count"] = SettingsStore::Dword(-2147483647 - 1);
    values["Max"] = SettingsStore::Dword(2147483647);
    values["HelpFileName"] = SettingsStore::Text("C:\\a \"b\"\n");
    values["Tricky \"name\"\\"] = SettingsStore::Text("line\nbreak\ttab\r\0nul\x7f\xc3\xa9"s);
    values["Empty"] = SettingsStore::Text("");
    values["Layout"] = SettingsStore::Binary{0x0a, 0x00, 0xff};
    values["Nothing"] = SettingsStore::Binary{};
    return values;
}

} // namespace

TEST(SettingsStore, WritesTheFormatAndReadsItBackWhole)
{
    const SettingsStore::Values values = sampleValues();
    const std::string text = SettingsStore::format(values);
    EXPECT_EQ(text[0], '#');
    // Names sort without regard to case; texts are escaped.
    for (const std::string line : {"merovance-settings 1\ndword \"Count\" -2147483648\n",
                                   "sz \"HelpFileName\" \"C:\\\\a \\\"b\\\"\\n\"\nbinary \"Layout\" 0a00ff\n"
                                   "dword \"Max\" 2147483647\nbinary \"Nothing\"\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;

    SettingsStore::Values parsed = SettingsStore::parse(text);
    EXPECT_EQ(parsed, values);
    // Names are found in any case; the stored spelling stays.
    EXPECT_EQ(parsed.find("count")->first, "Count");
}

TEST(SettingsStore, ReadsHandWrittenTextAndSkipsOnlyDamagedLines)
{
    SettingsStore::Values values = SettingsStore::parse("\n# note\nmerovance-settings 1\r\n"
                                                        "  dword\t\"A\"   4294967295  \r\n"
                                                        "sz \"B\" \"\\x41\\x00z\"\n"
                                                        "binary \"C\" ABcd\n"
                                                        "dword \"a\" 7\n" // the later of "A" and "a" counts
                                                        "dword \"TooBig\" 4294967296\n"
                                                        "dword \"Word\" five\n"
                                                        "sz \"Open\" \"no end\n"
                                                        "sz \"BadEscape\" \"\\q\"\n"
                                                        "binary \"Odd\" abc\n"
                                                        "binary \"NotHex\" zz\n"
                                                        "qword \"Unknown\" 1\n"
                                                        "dword Unquoted 1\n"
                                                        "sz \"Trailing\" \"x\" y\n"
                                                        "dword \"CutShort\" 12");
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values["a"], SettingsStore::Value(SettingsStore::Dword(7)));
    EXPECT_EQ(values["B"], SettingsStore::Value(SettingsStore::Text("A\0z"s)));
    EXPECT_EQ(values["C"], SettingsStore::Value(SettingsStore::Binary{0xab, 0xcd}));
    for (const char* unreadable : {"dword \"A\" 1\n", "merovance-settings 2\ndword \"A\" 1\n", ""})
        EXPECT_TRUE(SettingsStore::parse(unreadable).empty()) << unreadable;
}

// Whatever point a file is cut at, what is read back is a subset of what was
// written, never a changed value. (Random and damaged files are the
// regression corpus's, SettingsCorpusTest.)
TEST(SettingsStore, CutTextNeverYieldsAWrongValue)
{
    const SettingsStore::Values values = sampleValues();
    const std::string text = SettingsStore::format(values);
    for (std::size_t length = 0; length <= text.size(); ++length) {
        for (const auto& [name, value] : SettingsStore::parse(std::string_view(text).substr(0, length))) {
            auto original = values.find(name);
            ASSERT_NE(original, values.end()) << length;
            EXPECT_EQ(value, original->second) << "cut at " << length << ": " << name;
        }
    }
    EXPECT_EQ(SettingsStore::parse(text).size(), values.size());
}

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

// The user settings. (The previous generation's preset folder: the effect's preset tests.)
namespace {

// What the plug-in's serializeSettings does, on a settings object of the
// test's own and with a preset folder string in place of the manager.
struct Subject {
    GlobalSettings settings;
    std::string presetFolder = "/default/presets/";

    std::function<void(SettingSerializer&)> routine()
    {
        return [this](SettingSerializer& serializer) {
            serializeGlobalSettings(settings, serializer);
            presetFolder = serializer.serializeString("PresetFolder", presetFolder, "/default/presets/");
        };
    }
};

class MinimalPlugin final : public GenericPlugin {
public:
    MinimalPlugin() { initialize("Ostrand"); }
    std::string presetMagic() const override { return "Test"; }
};

struct FakePresetFolder final : MainPresetFolder {
    std::string path = "/default/";
    std::string getPath() const override { return path; }
    std::string getDefaultPath() const override { return "/default/"; }
    void setPath(const std::string& p) override { path = p; }
};

class UserSettings : public ::testing::Test {
protected:
    TemporaryHome home;
    ApplicationInfo info;
    std::filesystem::path userStore = home.path("config/Merovance/Ostrand/2.0.settings");
    std::filesystem::path machineStore = home.path("machine/Merovance/Ostrand/2.0.settings");
};

} // namespace

// The first instance of the process reads the user's store, the last one
// writes it back; instances in between touch nothing.
TEST_F(UserSettings, FirstInstanceReadsAndLastInstanceWrites)
{
    testsupport::writeFile(userStore, "merovance-settings 1\n"
                                      "dword \"showWelcomeHint\" 1\n"
                                      "dword \"ViewProgramNumbersEnabled\" 1\n"
                                      "sz \"PresetFolder\" \"/mine/\"\n");
    UserSettingsStorage storage;
    FakePresetFolder folder;
    PluginStorage::install(&storage);
    MainPresetFolder::install(&folder);
    GlobalSettings& settings = GlobalSettings::shared();
    {
        auto first = std::make_unique<MinimalPlugin>();
        EXPECT_TRUE(settings.showWelcomeHint.get());
        EXPECT_TRUE(settings.showInteractiveHelp.get()); // not in the file: it keeps its value
        EXPECT_TRUE(settings.viewProgramNumbersEnabled.get());
        EXPECT_FALSE(settings.savePresetItemEnabled.get());
        EXPECT_EQ(folder.path, "/mine/");

        settings.savePresetItemEnabled.set(true);
        settings.showInteractiveHelp.set(false);
        folder.path = "/changed/";
        auto second = std::make_unique<MinimalPlugin>();
        first.reset();
        EXPECT_EQ(SettingsStore::load(userStore.string()).size(), 3u); // not yet written
    }
    SettingsStore::Values written = SettingsStore::load(userStore.string());
    EXPECT_EQ(written.size(), 6u);
    EXPECT_EQ(written["SavePresetItemEnabled"], SettingsStore::Value(SettingsStore::Dword(1)));
    EXPECT_EQ(written["showInteractiveHelp"], SettingsStore::Value(SettingsStore::Dword(0)));
    EXPECT_EQ(written["PresetFolder"], SettingsStore::Value(SettingsStore::Text("/changed/")));

    PluginStorage::install(nullptr);
    MainPresetFolder::install(nullptr);
    settings.savePresetItemEnabled.set(false);
    settings.showWelcomeHint.set(false);
    settings.showInteractiveHelp.set(true);
    settings.viewProgramNumbersEnabled.set(false);
}

TEST_F(UserSettings, HelpFileNameIsTheBundledManualUnlessTheMachineStoreNamesAnother)
{
    const std::string bundled = "/lv2/ostrand.lv2/manual/index.html";
    Subject user;
    user.settings.helpFileName = "/user/help.html";
    writeUserSettings(user.routine(), info);

    // The installation owns the name: a user's old value does not count.
    Subject withoutMachine;
    readUserSettings(withoutMachine.routine(), withoutMachine.settings, info, bundled);
    EXPECT_EQ(withoutMachine.settings.helpFileName, bundled);

    testsupport::writeFile(machineStore, "merovance-settings 1\nsz \"HelpFileName\" \"/usr/share/help.html\"\n");
    Subject withMachine;
    readUserSettings(withMachine.routine(), withMachine.settings, info, bundled);
    EXPECT_EQ(withMachine.settings.helpFileName, "/usr/share/help.html");

    info.readMachineSettings = false;
    Subject userOnly;
    readUserSettings(userOnly.routine(), userOnly.settings, info, bundled);
    EXPECT_EQ(userOnly.settings.helpFileName, "/user/help.html");
    std::filesystem::remove(userStore);
    Subject fresh;
    readUserSettings(fresh.routine(), fresh.settings, info, bundled);
    EXPECT_EQ(fresh.settings.helpFileName, bundled);
}

TEST_F(UserSettings, TheManualIsFoundBesideTheModuleThenInTheBuildThenOnTheLv2Path)
{
    const auto page = [&](const std::string& bundleFolder) {
        return home.path(bundleFolder + "/ostrand.lv2/manual/index.html");
    };
    const std::string inBundle = home.path("plugins/ostrand.lv2/ostrand.so").string();
    const std::string inBuild = home.path("build/bin/ostrand-render").string();
    const std::string lv2Path = home.path("first").string() + "::" + home.path("second").string();
    EXPECT_EQ(findUserManual(inBundle, lv2Path, home.path("home").string()), "");

    testsupport::writeFile(page("second"), "<html>");
    EXPECT_EQ(findUserManual(inBuild, lv2Path, ""), page("second").string());
    // Without LV2_PATH the user's own LV2 folder is searched.
    testsupport::writeFile(page("home/.lv2"), "<html>");
    EXPECT_EQ(findUserManual(inBuild, "", home.path("home").string()), page("home/.lv2").string());

    testsupport::writeFile(page("build/lv2"), "<html>");
    EXPECT_EQ(findUserManual(inBuild, lv2Path, ""), page("build/lv2").string());
    testsupport::writeFile(page("plugins"), "<html>");
    EXPECT_EQ(findUserManual(inBundle, lv2Path, ""), page("plugins").string());
    // A folder of that name is not the manual.
    std::filesystem::remove(page("plugins"));
    std::filesystem::create_directories(page("plugins"));
    EXPECT_EQ(findUserManual(inBundle, lv2Path, ""), page("second").string());
}

TEST(Folders, EnsureFolderCreatesMissingParents)
{
    TemporaryHome home;
    std::string deep = home.path("a/b/c").string();
    EXPECT_TRUE(ensureFolder(deep + "/"));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(ensureFolder(deep)); // already there

    testsupport::writeFile(home.path("a/file"), "x");
    EXPECT_FALSE(ensureFolder(home.path("a/file").string()));
    EXPECT_FALSE(ensureFolder(home.path("a/file/below").string()));
    EXPECT_FALSE(ensureFolder(""));

    EXPECT_EQ(withTrailingSeparator(""), "");
    EXPECT_EQ(withTrailingSeparator("/x"), "/x/");
    EXPECT_EQ(withTrailingSeparator("/x/"), "/x/");
    EXPECT_EQ(withTrailingSeparator("/"), "/");
}

TEST(Folders, DataAndConfigurationFoldersFollowTheEnvironment)
{
    TemporaryHome home;
    std::string homeFolderPath = home.path("home").string() + "/";
    EXPECT_EQ(homeFolder(), homeFolderPath);
    EXPECT_EQ(applicationDataFolder(), home.path("data").string() + "/");
    EXPECT_EQ(userConfigFolder(), home.path("config").string() + "/");

    ::setenv("XDG_DATA_HOME", "not/absolute", 1);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(applicationDataFolder(), homeFolderPath + ".local/share/");
    EXPECT_EQ(userConfigFolder(), homeFolderPath + ".config/");

    ::unsetenv("HOME");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(applicationDataFolder(), "");
    EXPECT_EQ(documentsFolder(), "");
}

TEST(Folders, DocumentsFolderComesFromUserDirs)
{
    TemporaryHome home;
    std::string homeFolderPath = home.path("home").string() + "/";
    EXPECT_EQ(documentsFolder(), homeFolderPath + "Documents/");

    auto userDirs = home.path("config/user-dirs.dirs");
    testsupport::writeFile(userDirs, "# written by the desktop\n"
                                       "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                       "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(documentsFolder(), homeFolderPath + "Dokumente/");

    testsupport::writeFile(userDirs, "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
    EXPECT_EQ(documentsFolder(), "/srv/docs/");

    // Lines that are not a usable definition are passed over.
    testsupport::writeFile(userDirs, "XDG_DOCUMENTS_DIRX=\"/a\"\nXDG_DOCUMENTS_DIR=relative\n"
                                       "XDG_DOCUMENTS_DIR=\"$HOMEx/b\"\n");
    EXPECT_EQ(documentsFolder(), homeFolderPath + "Documents/");
}

// The regression corpora of the settings store and the MIDI controller map: "ok-..." must read,
// "bad-..." must hold nothing usable, the rest are fuzzers' finds; each keeps the reader's promises.
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
