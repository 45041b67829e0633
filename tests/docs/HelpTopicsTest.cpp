// Which manual "Help Topics" opens. In the editor's own window on a virtual
// display (Xvfb) it opens the manual that the build put into the plug-in's
// bundle: xdg-open is replaced on PATH by a recorder, and the Help button and
// the menu's first item are clicked through XTest (xdotool), as a user
// would. And a bundle installed elsewhere, loaded by a real LV2 host
// (lv2file), names its own copy of the manual.
#include "ImageTools.h"
#include "VirtualDisplay.h"

#include "editor/EditorButton.h"
#include "editor/EditorTopBar.h"
#include "editor/OstrandInterface.h"
#include "effect/OstrandPlugin.h"
#include "framework/PluginStorage.h"
#include "gui/HeadlessInterface.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using imagetools::ScratchFolder;

// Where the Help button is, and a point inside the first item of the menu
// it opens (the menu hangs from the button's lower left corner).
struct HelpPoints {
    gui::Point button;
    gui::Point firstItem;
};

HelpPoints helpPoints()
{
    static PluginStorage inert;
    PluginStorage::install(&inert);
    OstrandPlugin plugin;
    gui::HeadlessInterface ui(plugin.getEditorWidth(), plugin.getEditorHeight());
    OstrandInterface editor(ui, plugin);
    const EditorButton& help = editor.topBar().help;
    const gui::Point corner = help.toRoot({0, 0});
    return {{corner.x + help.width() / 2, corner.y + help.height() / 2},
            {corner.x + 20, corner.y + help.height() + 8}};
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace

TEST(HelpTopics, OpensTheManualInThePluginsBundleWithXdgOpen)
{
    const HelpPoints points = helpPoints();
    ScratchFolder dir;
    const std::string opened = dir / "opened";
    const std::string recorder = dir / "xdg-open";
    std::ofstream(recorder) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << opened << ".part' && mv '" << opened
                            << ".part' '" << opened << "'\n";
    ASSERT_EQ(chmod(recorder.c_str(), 0755), 0);
    const char* path = std::getenv("PATH");
    const std::string folder = std::filesystem::path(recorder).parent_path().string();
    setenv("PATH", (folder + (path ? std::string(":") + path : std::string())).c_str(), 1);

    xtest::VirtualDisplay display;
    ASSERT_FALSE(display.name.empty()) << "Xvfb did not start";
    const std::string env = "DISPLAY=" + display.name + " ";
    xtest::Child window({OSTRAND_EDITOR}, display.name);
    std::string id = xtest::capture(env + "timeout 20 xdotool search --sync --name '^Ostrand 2$' | head -1");
    while (!id.empty() && id.back() == '\n')
        id.pop_back();
    ASSERT_FALSE(id.empty()) << "no editor window appeared";

    auto click = [&](gui::Point p) {
        return imagetools::run(env + "xdotool mousemove --window " + id + " " + std::to_string(p.x) + " " +
                               std::to_string(p.y) + " click 1");
    };
    // The window may take its first clicks before it has drawn; try again
    // until the recorder has been run.
    for (int attempt = 0; attempt < 10 && !std::filesystem::exists(opened); ++attempt) {
        ASSERT_TRUE(click(points.button));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_TRUE(click(points.firstItem));
        for (int wait = 0; wait < 20 && !std::filesystem::exists(opened); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(std::filesystem::exists(opened)) << "xdg-open was not run";
    const std::string manual = std::filesystem::canonical(OSTRAND_LV2_BUNDLE "/manual/index.html").string();
    EXPECT_EQ(readFile(opened), manual + "\n");
}

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
