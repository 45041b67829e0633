// The modulation area and MIDI learn in the editor's LV2 UI, embedded by a
// host of our own on a virtual display and driven with the real pointer
// (XTest): a cable dragged from an XLFO's jack onto Filter 1 Freq becomes a
// slot in the host's ports and a wobble in the plug-in's audio; the limits
// show their message and write nothing; a controller learned by clicking a
// knob moves that parameter in two instances, and the controller map file
// survives Save and Revert from the MIDI menu.
#include <gtest/gtest.h>

#include "Lv2UiHost.h"

#include "gui/Label.h"
#include "gui/x11/FreeTypeText.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace lv2uitest;

namespace {

// Where things are in the 640 x 522 editor (window coordinates): XLFO 1's
// jack at the top left of the first panel of the strip (area 7, 389; strip
// 4, 20; jack 2, 1 and 14 wide), Filter 1 Freq's knob in the filter panel,
// filter 1's button above it, and the bar's MIDI Learn and MIDI buttons.
constexpr int jackX = 20, jackY = 417;
constexpr int freqX = 98, freqY = 345;
constexpr int filterButtonX = 87, filterButtonY = 313;
constexpr int learnX = 572, learnY = 17;
constexpr int midiX = 619, midiY = 17;
// A message box's panel, left of its text, and its colour.
constexpr int messageX = 150, messageY = 261;
constexpr unsigned long messagePanel = 0x32353c;

// Presses at one point, moves in a few steps to another and releases,
// giving the UI idle calls all along.
void dragTo(EmbeddedUi& ui, Pointer& pointer, int fromX, int fromY, int toX, int toY)
{
    pointer.move(fromX, fromY);
    ui.spin(60);
    pointer.button(true);
    ui.spin(60);
    for (int step = 1; step <= 5; ++step) {
        pointer.move(fromX + (toX - fromX) * step / 5, fromY + (toY - fromY) * step / 5);
        ui.spin(40);
    }
    pointer.button(false);
    ui.spin();
}

void click(EmbeddedUi& ui, Pointer& pointer, int x, int y) { dragTo(ui, pointer, x, y, x, y); }

bool anyWrite(const std::vector<std::string>& log)
{
    return std::any_of(log.begin(), log.end(), [](const std::string& e) { return e.rfind("write", 0) == 0; });
}

// The RMS of the plug-in's left output over consecutive 25 ms windows of a
// 120 Hz sawtooth (three whole periods each, so a steady filter gives the
// same level in every window), for one second.
std::vector<double> windowedLevels(Instance& instance)
{
    constexpr int window = 1200, windows = 40, period = 400;
    std::vector<float> saw(window), left(window), right(window);
    for (int i = 0; i < window; ++i)
        saw[static_cast<std::size_t>(i)] = 0.5f * (static_cast<float>(i % period) / period * 2.0f - 1.0f);
    std::vector<double> levels;
    for (int w = 0; w < windows; ++w) {
        instance.run({saw.data(), saw.data(), nullptr, nullptr}, {left.data(), right.data()}, 0, window);
        double sum = 0;
        for (float v : left)
            sum += static_cast<double>(v) * static_cast<double>(v);
        levels.push_back(std::sqrt(sum / window));
    }
    return levels;
}

// Loudest over quietest window: 1 for a steady sound.
double swing(const std::vector<double>& levels)
{
    const auto [lo, hi] = std::minmax_element(levels.begin() + 5, levels.end());
    return *hi / std::max(*lo, 1e-9);
}

double mean(const std::vector<double>& levels)
{
    double sum = 0;
    for (double l : levels)
        sum += l;
    return sum / static_cast<double>(levels.size());
}

void controlChange(Instance& instance, int controller, int value)
{
    instance.getEvents().midi(0, 0xB0, static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(value));
    std::vector<float> silence(64), out(64);
    instance.run({silence.data(), silence.data(), nullptr, nullptr}, {out.data(), out.data()}, 0, 64);
}

std::filesystem::path mapFile()
{
    return std::filesystem::path(std::getenv("XDG_DATA_HOME")) / "Merovance/Ostrand 2/MidiControllerMap.mvm";
}

// The file's 127 entries (after "MVCM" and the version), little-endian.
std::vector<std::int32_t> mapFileEntries()
{
    std::ifstream in(mapFile(), std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<std::int32_t> entries;
    if (bytes.size() != 8 + 4 * 127 || std::string(bytes.begin(), bytes.begin() + 4) != "MVCM")
        return entries;
    for (std::size_t i = 8; i < bytes.size(); i += 4)
        entries.push_back(static_cast<std::int32_t>(bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 |
                                                    static_cast<std::uint32_t>(bytes[i + 3]) << 24));
    return entries;
}

// The middle of item `index` of a popup menu opened below the MIDI button:
// the menu lays its items out by its font's line height.
std::pair<int, int> midiMenuItem(int index)
{
    gui::FreeTypeText font;
    font.setFont(gui::Font{});
    const int itemHeight = gui::lineHeight(font) + 6;
    return {600, midiY + 11 + 2 + index * itemHeight + itemHeight / 2};
}

} // namespace

TEST(Lv2ModulationUi, ACableFromAnXlfoToFilterFreqMakesASlotTheHostAndTheAudioFollow)
{
    ASSERT_FALSE(display().empty()) << "Xvfb did not start";
    Display* x = XOpenDisplay(display().c_str());
    ASSERT_NE(x, nullptr);
    Host host;
    Instance instance(host, pluginUri);
    // One XLFO: a square wave of two steps at about 4 Hz.
    instance.set("num_active_xlfos", 1.0f);
    instance.set("xlfo_1_step_1_value", 1.0f);
    instance.set("xlfo_1_step_2_value", -1.0f);
    instance.set("xlfo_1_frequency", 0.51f);
    instance.set("filter_1_freq", 0.5f);
    Pointer pointer{x};
    {
        EmbeddedUi ui(host, instance, x);
        ASSERT_TRUE(ui.open());
        ui.spin();
        EXPECT_LT(swing(windowedLevels(instance)), 1.2);

        dragTo(ui, pointer, jackX, jackY, freqX, freqY);
        EXPECT_EQ(instance.get("num_active_slots"), 1.0f);
        // Position 1 of each option list: XLFO 1, Filter 1 Freq.
        EXPECT_EQ(instance.get("slot_1_source"), 1.0f);
        EXPECT_EQ(instance.get("slot_1_target"), 1.0f);
        EXPECT_GT(instance.get("slot_1_level"), 0.0f);
        // The cut-off now jumps up and down by octaves with the XLFO: the
        // sawtooth through it swells and shrinks.
        EXPECT_GT(swing(windowedLevels(instance)), 4.0);

        // A filter's button can only be hovered: the drop writes nothing
        // and a message says so.
        ui.log.clear();
        const unsigned long field = ui.pixel(messageX, messageY);
        dragTo(ui, pointer, jackX, jackY, filterButtonX, filterButtonY);
        EXPECT_FALSE(anyWrite(ui.log));
        EXPECT_EQ(ui.pixel(messageX, messageY), messagePanel) << std::hex << ui.pixel(messageX, messageY);
        EXPECT_NE(field, messagePanel);
    }
    {
        // With every slot in use, the drop writes nothing and the message
        // appears.
        instance.set("num_active_slots", 24.0f);
        EmbeddedUi ui(host, instance, x);
        ASSERT_TRUE(ui.open());
        ui.spin();
        ui.log.clear();
        dragTo(ui, pointer, jackX, jackY, freqX, freqY);
        EXPECT_FALSE(anyWrite(ui.log));
        EXPECT_EQ(instance.get("num_active_slots"), 24.0f);
        EXPECT_EQ(ui.pixel(messageX, messageY), messagePanel) << std::hex << ui.pixel(messageX, messageY);
    }
    XCloseDisplay(x);
}

TEST(Lv2ModulationUi, AControllerLearnedByClickingAKnobMovesItInTwoInstancesAndTheMapFileRoundTrips)
{
    ASSERT_FALSE(display().empty()) << "Xvfb did not start";
    Display* x = XOpenDisplay(display().c_str());
    ASSERT_NE(x, nullptr);
    Host host;
    Instance first(host, pluginUri), second(host, pluginUri);
    Pointer pointer{x};
    {
        EmbeddedUi ui(host, first, x);
        ASSERT_TRUE(ui.open());
        ui.spin();
        const std::uint32_t freq = first.port("filter_1_freq");

        // Learn mode, Filter 1 Freq, then controller 21 through the
        // plug-in's MIDI input: the editor shows the new value and hands
        // it to the host.
        click(ui, pointer, learnX, learnY);
        click(ui, pointer, freqX, freqY);
        controlChange(first, 21, 0);
        ui.spin();
        EXPECT_FLOAT_EQ(lastWrite(ui.log, freq), 0.0f);
        controlChange(first, 21, 127);
        ui.spin();
        EXPECT_FLOAT_EQ(lastWrite(ui.log, freq), 1.0f);
        click(ui, pointer, learnX, learnY);

        // The other instance answers to the same controller: closing its
        // low-pass takes the sawtooth down.
        controlChange(second, 21, 127);
        const double open = mean(windowedLevels(second));
        controlChange(second, 21, 0);
        const double closed = mean(windowedLevels(second));
        EXPECT_LT(closed, open * 0.25) << open << " " << closed;

        // Save writes the map file; learning controller 22 for the knob
        // moves the association, and Revert brings back the file's.
        // Menu items: Disable, Clear, Revert, Save.
        click(ui, pointer, midiX, midiY);
        click(ui, pointer, midiMenuItem(3).first, midiMenuItem(3).second);
        const std::vector<std::int32_t> saved = mapFileEntries();
        ASSERT_EQ(saved.size(), 127u);
        EXPECT_GE(saved[21], 0);
        EXPECT_EQ(std::count(saved.begin(), saved.end(), -1), 126);

        click(ui, pointer, learnX, learnY);
        click(ui, pointer, freqX, freqY);
        controlChange(first, 22, 64);
        ui.spin();
        click(ui, pointer, learnX, learnY);
        ui.log.clear();
        controlChange(first, 21, 0);
        ui.spin();
        EXPECT_TRUE(std::isnan(lastWrite(ui.log, freq))) << "controller 21 still moves the knob";

        click(ui, pointer, midiX, midiY);
        click(ui, pointer, midiMenuItem(2).first, midiMenuItem(2).second);
        ui.log.clear();
        controlChange(first, 21, 0);
        controlChange(first, 22, 127);
        ui.spin();
        EXPECT_FLOAT_EQ(lastWrite(ui.log, freq), 0.0f) << "after Revert, 21 moves the knob and 22 does not";
    }
    std::filesystem::remove(mapFile());
    XCloseDisplay(x);
}
