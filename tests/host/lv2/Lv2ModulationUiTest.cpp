// MIDI learn in the editor's LV2 UI, embedded by a host of our own on a
// virtual display and driven with the real pointer (XTest): a controller
// learned by clicking a knob moves that parameter in two instances, so the
// UI's module works on the plug-in module's controller map. (Cable drags,
// the limit messages and the MIDI menu are the editor's own tests'; the
// way the editor's changes reach the host's ports is Lv2UiTest's.)
#include <gtest/gtest.h>

#include "Lv2UiHost.h"

#include <cstdint>

using namespace lv2uitest;

namespace {

// Filter 1 Freq's knob in the filter panel and the bar's MIDI Learn button
// (window coordinates of the 640 x 522 editor).
constexpr int freqX = 98, freqY = 345;
constexpr int learnX = 572, learnY = 17;

// The RMS of the plug-in's left output for a second of a 120 Hz sawtooth.
double level(Instance& instance)
{
    constexpr int block = 1200, period = 400;
    std::vector<float> saw(block), left(block), right(block);
    for (int i = 0; i < block; ++i)
        saw[static_cast<std::size_t>(i)] = 0.5f * (static_cast<float>(i % period) / period * 2.0f - 1.0f);
    double sum = 0;
    for (int b = 0; b < 40; ++b) {
        instance.run({saw.data(), saw.data(), nullptr, nullptr}, {left.data(), right.data()}, 0, block);
        for (float v : left)
            sum += static_cast<double>(v) * static_cast<double>(v);
    }
    return std::sqrt(sum / (40.0 * block));
}

void controlChange(Instance& instance, int controller, int value)
{
    instance.getEvents().midi(0, 0xB0, static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(value));
    std::vector<float> silence(64), out(64);
    instance.run({silence.data(), silence.data(), nullptr, nullptr}, {out.data(), out.data()}, 0, 64);
}

} // namespace

using Lv2ModulationUi = OnDisplay;

TEST_F(Lv2ModulationUi, AControllerLearnedByClickingAKnobMovesItInTwoInstances)
{
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
        const double open = level(second);
        controlChange(second, 21, 0);
        const double closed = level(second);
        EXPECT_LT(closed, open * 0.25) << open << " " << closed;
    }
}
