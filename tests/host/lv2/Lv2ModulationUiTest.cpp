// The modulation area and MIDI learn in the editor's LV2 UI, embedded by a
// host of our own on a virtual display and driven with the real pointer
// (XTest): a cable dragged from an XLFO's jack onto Filter 1 Freq becomes a
// slot in the host's ports and a wobble in the plug-in's audio; a controller
// learned by clicking a knob moves that parameter in two instances, so the
// UI's module works on the plug-in module's controller map. (The messages
// of the limits and the MIDI menu are the editor's own tests'.)
#include <gtest/gtest.h>

#include "Lv2UiHost.h"

#include <algorithm>
#include <cstdint>

using namespace lv2uitest;

namespace {

// Where things are in the 640 x 522 editor (window coordinates): XLFO 1's
// jack at the top left of the first panel of the strip (area 7, 389; strip
// 4, 20; jack 2, 1 and 14 wide), Filter 1 Freq's knob in the filter panel,
// and the bar's MIDI Learn button.
constexpr int jackX = 20, jackY = 417;
constexpr int freqX = 98, freqY = 345;
constexpr int learnX = 572, learnY = 17;

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
    }
    XCloseDisplay(x);
}

TEST(Lv2ModulationUi, AControllerLearnedByClickingAKnobMovesItInTwoInstances)
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
    }
    XCloseDisplay(x);
}
