// Which manual "Help Topics" opens: a bundle installed elsewhere, loaded by
// a real LV2 host (lv2file), names its own copy of the manual. (Clicking Help
// Topics in the embedded editor is tested with the LV2 UI in
// tests/host/lv2/Lv2UiTest.cpp.)
#include "ImageTools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using testsupport::readFile;
using testsupport::ScratchFolder;

TEST(HelpTopics, AnInstalledBundleNamesItsOwnCopyOfTheManual)
{
    // Installed as ./dev install does it: the whole bundle in another LV2
    // folder, which the host is told to search. Under a folder name of its
    // own, so that only the module's own place leads to this copy.
    ScratchFolder dir;
    const std::filesystem::path installed = std::filesystem::path(dir / "lv2") / "ostrand-installed.lv2";
    std::filesystem::create_directories(installed.parent_path());
    std::filesystem::copy(OSTRAND_LV2_BUNDLE, installed, std::filesystem::copy_options::recursive);
    ASSERT_TRUE(imagetools::run("sox -n -r 48000 -c 4 '" + dir / "in.wav" + "' trim 0 0.05"));
    ASSERT_TRUE(imagetools::run("XDG_CONFIG_HOME='" + dir / "config" + "' LV2_PATH='" + dir / "lv2" +
                                "' lv2file -i '" + dir / "in.wav" + "' -o '" + dir / "out.wav" +
                                "' urn:merovance:ostrand2"));
    // The last instance writes the settings back, the help file's name among
    // them.
    const std::string settings = readFile(dir / "config/Merovance/Ostrand/2.0.settings");
    const std::string manual = std::filesystem::canonical(installed / "manual/index.html").string();
    EXPECT_NE(settings.find("sz \"HelpFileName\" \"" + manual + "\"\n"), std::string::npos) << settings;
}
