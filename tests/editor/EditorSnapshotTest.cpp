// ostrand-editor --snapshot against the reference pictures beside this test
// (ImageMagick compares): the default state and states from preset files kept
// here, so the pictures do not follow the factory presets. A few pixels may
// differ (another FreeType may shift a glyph's edge). After a deliberate
// change of the look: OSTRAND_UPDATE_REFERENCES=1 build/bin/editor_snapshot_tests,
// look at tests/editor/reference/*.png and commit them with the change.
#include "ImageTools.h"
#include "VirtualDisplay.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

using namespace imagetools;
using xtest::capture;

namespace {

const std::string editor = OSTRAND_EDITOR;
const std::string references = OSTRAND_REFERENCES;

bool updating() { return std::getenv("OSTRAND_UPDATE_REFERENCES") != nullptr; }

// How many pixels of two images differ by more than 3 % in any channel;
// -1 when ImageMagick cannot compare them (another size, a missing file).
long differingPixels(const std::string& a, const std::string& b)
{
    const std::string out = capture("compare -metric AE -fuzz 3% '" + a + "' '" + b + "' null: 2>&1");
    char* end = nullptr;
    const double n = std::strtod(out.c_str(), &end);
    return end == out.c_str() ? -1 : static_cast<long>(n);
}

void checkAgainstReference(const std::string& name, const std::string& arguments)
{
    ScratchFolder dir;
    const std::string shot = dir / (name + ".png");
    ASSERT_TRUE(run("env -u DISPLAY '" + editor + "' --snapshot '" + shot + "' " + arguments)) << arguments;
    const std::string reference = references + "/" + name + ".png";
    if (updating()) {
        std::filesystem::copy_file(shot, reference, std::filesystem::copy_options::overwrite_existing);
        GTEST_SKIP() << "wrote " << reference;
    }
    EXPECT_LE(differingPixels(shot, reference), 40) << name << " no longer looks like its reference";
    EXPECT_GE(differingPixels(shot, reference), 0) << name;
}

} // namespace

TEST(EditorSnapshot, EachStateMatchesItsReference)
{
    const std::pair<std::string, std::string> states[] = {
        {"default", ""},
        // Filter 3 is shown and switched off; filter 2 is panned, the input
        // raised.
        {"four-linked-filters", "--preset '" OSTRAND_STATES "/Four Linked Filters.mvp' --filter 3"},
        // Two step LFOs (the first with eight steps, one of them random), an
        // envelope and a MIDI source; five slots: on Freq and Peak (their
        // knobs ringed), on another slot's level, one that would modulate its
        // own source (the warning sign), and one bypassed below the rows in
        // view.
        {"modulation-in-use", "--preset '" OSTRAND_STATES "/Modulation In Use.mvp'"},
        // An envelope follower and two MIDI sources, each feeding slots: their
        // narrow panels show the title beside the slot count ("MIDI 1" where
        // "MIDI Source 1" has no room), and so do the slots' source buttons.
        {"narrow-source-panels", "--preset '" OSTRAND_STATES "/Narrow Source Panels.mvp'"},
    };
    for (const auto& [name, arguments] : states)
        checkAgainstReference(name, arguments);
}

TEST(EditorSnapshot, DoubleScaleShowsTheSameEditor)
{
    // At scale 2 the picture is twice the size and, brought back to its
    // own size, close to the plain one (text and lines are drawn at the full
    // resolution, so they differ at the edges, but nothing moved).
    ScratchFolder dir;
    ASSERT_TRUE(run("env -u DISPLAY '" + editor + "' --snapshot '" + dir / "one.png" + "'"));
    ASSERT_TRUE(run("env -u DISPLAY '" + editor + "' --snapshot '" + dir / "two.png" + "' --scale 2"));
    const RgbaImage two = readWithImageMagick(dir / "two.png");
    ASSERT_EQ(two.width, 1280);
    ASSERT_EQ(two.height, 1044);
    ASSERT_TRUE(run("convert '" + dir / "two.png" + "' -resize 50% '" + dir / "half.png" + "'"));
    const std::string error = capture("compare -metric MAE '" + dir / "one.png" + "' '" + dir / "half.png" +
                                      "' null: 2>&1");
    // MAE prints "absolute (normalized)".
    const auto open = error.find('(');
    ASSERT_NE(open, std::string::npos) << error;
    EXPECT_LT(std::strtod(error.c_str() + open + 1, nullptr), 0.02) << error;
}

TEST(EditorSnapshot, BadArgumentsAreRefusedWithAMessage)
{
    ScratchFolder dir;
    const std::string out = dir / "x.png";
    for (const std::string arguments : {"--preset 'No Such Preset'", "--set 'Filter 9 Freq=1'", "--scale 3",
                                        "--frobnicate"}) {
        EXPECT_FALSE(run("'" + editor + "' --snapshot '" + out + "' " + arguments)) << arguments;
        EXPECT_FALSE(std::filesystem::exists(out)) << arguments;
    }
}
