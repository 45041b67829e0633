// ostrand-editor --snapshot against the reference pictures kept beside this
// test, compared by ImageMagick: the default state, and four linked filters
// from a preset file kept here (written by ostrand-render --save-preset, so
// the picture does not change with the factory presets). Text and anti-aliasing are
// deterministic on the build machine, so a few pixels of difference at most
// are tolerated (a different FreeType may shift a glyph's edge).
//
// When the editor's look changes on purpose, write new references with
//
//     OSTRAND_UPDATE_REFERENCES=1 build/bin/editor_snapshot_tests
//
// look at them (tests/editor/reference/*.png), and commit them with the
// change.
#include "ImageTools.h"
#include "VirtualDisplay.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
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
        {"four-linked-filters", "--preset '" OSTRAND_FOUR_LINKED "' --filter 3"},
        // Two step LFOs (the first with eight steps, one of them random), an
        // envelope and a MIDI source; five slots: on Freq and Peak (their
        // knobs ringed), on another slot's level, one that would modulate its
        // own source (the warning sign), and one bypassed below the rows in
        // view.
        {"modulation-in-use",
         "--set 'Filter 1 Freq=0.45' --set 'Filter 1 Peak=0.35' --set 'Num Active XLFOs=2' "
         "--set 'Num Active XLFO 1 Steps=8' --set 'XLFO 1 Step 1 Value=0.8' --set 'XLFO 1 Step 2 Value=0.3' "
         "--set 'XLFO 1 Step 3 Value=-0.2' --set 'XLFO 1 Step 4 Random=Random' "
         "--set 'XLFO 1 Step 5 Value=-0.9' --set 'XLFO 1 Step 6 Value=-0.5' --set 'XLFO 1 Step 7 Value=0.1' "
         "--set 'XLFO 1 Step 8 Value=0.6' --set 'XLFO 1 Step 8 Glide=0.7' --set 'Num Active EGs=1' "
         "--set 'Num Active MIDI Sources=1' --set 'Num Active Slots=5' "
         "--set 'Slot 1 Source=XLFO 1' --set 'Slot 1 Target=Filter 1 Freq' --set 'Slot 1 Level=0.6' "
         "--set 'Slot 2 Source=EG 1' --set 'Slot 2 Target=Filter 1 Peak' --set 'Slot 2 Level=0.4' "
         "--set 'Slot 3 Source=XLFO 2' --set 'Slot 3 Target=Slot 1 Level' --set 'Slot 3 Level=0.5' "
         "--set 'Slot 4 Source=XLFO 1' --set 'Slot 4 Target=XLFO 1 Glide' --set 'Slot 4 Level=0.3' "
         "--set 'Slot 5 Source=MIDI Source 1' --set 'Slot 5 Target=Output Gain' --set 'Slot 5 Level=0.2' "
         "--set 'Slot 5 Bypassed=Bypassed'"},
        // An envelope follower and two MIDI sources, each feeding slots: their
        // narrow panels show the title beside the slot count ("MIDI 1" where
        // "MIDI Source 1" has no room), and so do the slots' source buttons.
        {"narrow-source-panels",
         "--set 'Num Active EFs=1' --set 'Num Active MIDI Sources=2' --set 'Num Active Slots=3' "
         "--set 'Slot 1 Source=EF 1' --set 'Slot 1 Target=Filter 1 Peak' "
         "--set 'Slot 2 Source=MIDI Source 1' --set 'Slot 2 Target=Filter 1 Freq' "
         "--set 'Slot 3 Source=MIDI Source 2' --set 'Slot 3 Target=Output Gain'"},
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
