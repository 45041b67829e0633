// The viewer in a real X11 window on a virtual display (Xvfb): it shows what
// its headless snapshot shows, pointer events sent through XTest (xdotool)
// move a knob, and the screenshots (taken and decoded by ImageMagick) show
// the knob moved. At scale 2 the images come from their double-size files.
#include "ImageTools.h"
#include "VirtualDisplay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace imagetools;

namespace {

using namespace xtest;

std::map<std::string, std::vector<int>> layout(const std::string& viewer)
{
    std::map<std::string, std::vector<int>> controls;
    std::istringstream lines(capture("'" + viewer + "' --layout"));
    std::string name;
    int x, y, w, h;
    while (lines >> name >> x >> y >> w >> h)
        controls[name] = {x, y, w, h};
    return controls;
}

bool sameColours(const RgbaImage& a, const RgbaImage& b)
{
    if (a.width != b.width || a.height != b.height || a.rgba.empty())
        return false;
    for (std::size_t i = 0; i < a.rgba.size(); i += 4)
        if (a.rgba[i] != b.rgba[i] || a.rgba[i + 1] != b.rgba[i + 1] || a.rgba[i + 2] != b.rgba[i + 2])
            return false;
    return true;
}

std::size_t distinctColours(const RgbaImage& image)
{
    std::vector<std::uint32_t> colours;
    for (std::size_t i = 0; i < image.rgba.size(); i += 4)
        colours.push_back(image.rgba[i] | image.rgba[i + 1] << 8 | image.rgba[i + 2] << 16);
    std::sort(colours.begin(), colours.end());
    return static_cast<std::size_t>(std::unique(colours.begin(), colours.end()) - colours.begin());
}

bool isOrange(const std::uint8_t* p) { return p[0] > 200 && p[1] > 130 && p[1] < 190 && p[2] < 90; }

} // namespace

TEST(ViewerWindow, ShowsItsSnapshotAndAKnobFollowsXTestPointerEvents)
{
    ScratchFolder dir;
    const std::string viewer = OSTRAND_GUI_DEMO;
    const auto controls = layout(viewer);
    ASSERT_EQ(controls.count("knob-Freq"), 1u);
    const std::vector<int> knob = controls.at("knob-Freq");

    VirtualDisplay display;
    ASSERT_FALSE(display.name.empty()) << "Xvfb did not start";
    const std::string env = "DISPLAY=" + display.name + " ";

    for (int scale : {1, 2}) {
        // The snapshot is made without any display.
        const std::string snapshot = dir / ("snapshot" + std::to_string(scale) + ".png");
        ASSERT_TRUE(run("env -u DISPLAY '" + viewer + "' --snapshot '" + snapshot + "' --scale " +
                        std::to_string(scale)));
        const RgbaImage expected = readWithImageMagick(snapshot);
        ASSERT_EQ(expected.width, 420 * scale);
        ASSERT_EQ(expected.height, 240 * scale);
        EXPECT_GT(distinctColours(expected), 100u) << "the snapshot looks blank";

        Child window({viewer, "--scale", std::to_string(scale)}, display.name);
        std::string id = capture(env + "timeout 20 xdotool search --sync --name '^Ostrand GUI Demo$' | head -1");
        while (!id.empty() && id.back() == '\n')
            id.pop_back();
        ASSERT_FALSE(id.empty()) << "no window appeared at scale " << scale;

        // The window draws what the snapshot holds (once it has painted).
        const std::string shot = dir / "window.png";
        RgbaImage seen;
        for (int attempt = 0; attempt < 100 && !sameColours(seen, expected); ++attempt) {
            if (attempt)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (run(env + "import -window " + id + " '" + shot + "'"))
                seen = readWithImageMagick(shot);
        }
        ASSERT_TRUE(sameColours(seen, expected)) << "the window differs from its snapshot at scale " << scale;

        // The top of the Freq knob's ring is empty at 25 %; a drag of 100
        // pixels upwards in one quick gesture raises the value by half the
        // range, and the ring fills past the top.
        const int cx = (knob[0] + knob[2] / 2) * scale, cy = (knob[1] + knob[3] / 2) * scale;
        const int topY = cy - static_cast<int>(16.5 * scale);
        ASSERT_FALSE(isOrange(seen.at(cx, topY)));
        std::string gesture = env + "xdotool mousemove --window " + id + " " + std::to_string(cx) + " " +
                              std::to_string(cy) + " mousedown 1";
        for (int i = 0; i < 10; ++i)
            gesture += " mousemove_relative -- 0 -" + std::to_string(10 * scale);
        gesture += " mouseup 1";
        ASSERT_TRUE(run(gesture));
        bool moved = false;
        for (int attempt = 0; attempt < 100 && !moved; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (run(env + "import -window " + id + " '" + shot + "'")) {
                seen = readWithImageMagick(shot);
                moved = !seen.rgba.empty() && isOrange(seen.at(cx, topY));
            }
        }
        EXPECT_TRUE(moved) << "the knob did not move at scale " << scale;
    }
}

TEST(ViewerWindow, AtScaleTwoImagesComeFromTheirDoubleSizeFiles)
{
    ScratchFolder dir;
    const std::string viewer = OSTRAND_GUI_DEMO;
    const std::vector<int> logo = layout(viewer).at("logo");
    ASSERT_TRUE(run("env -u DISPLAY '" + viewer + "' --snapshot '" + dir / "s.png" + "' --scale 2"));
    const RgbaImage snapshot = readWithImageMagick(dir / "s.png");
    const RgbaImage twice = readWithImageMagick(OSTRAND_IMAGES "/Logo@2x.png");
    ASSERT_EQ(twice.width, logo[2] * 2);
    int compared = 0;
    for (int y = 0; y < twice.height; ++y)
        for (int x = 0; x < twice.width; ++x) {
            const std::uint8_t* want = twice.at(x, y);
            if (want[3] != 255)
                continue;
            const std::uint8_t* got = snapshot.at(logo[0] * 2 + x, logo[1] * 2 + y);
            ASSERT_TRUE(got[0] == want[0] && got[1] == want[1] && got[2] == want[2]) << x << "," << y;
            ++compared;
        }
    EXPECT_GT(compared, twice.width * twice.height / 2);
}
