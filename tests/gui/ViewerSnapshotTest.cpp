// At scale 2 the viewer's images come from their double-size files: every
// opaque pixel of one appears unchanged in the snapshot (an upscaled 1x image
// would not), read back by ImageMagick.
#include "ImageTools.h"
#include "VirtualDisplay.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
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

} // namespace

TEST(ViewerSnapshot, AtScaleTwoImagesComeFromTheirDoubleSizeFiles)
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
