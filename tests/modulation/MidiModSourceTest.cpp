#include "modulation/MidiModSource.h"
#include "SourceHarness.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr float rate = 48000.0f;
using Input = MidiModSource::MidiInput;

// A plug-in whose output is one MIDI source listening on the default
// receiver, fed with raw messages through the event queue.
struct MidiRig {
    MidiRig() : source(plugin.getGraph())
    {
        plugin.receiver().addListener(&source);
        plugin.setOutputNode(source);
    }
    // Sends the messages at offset 0 of a host block and renders 200 ms,
    // long enough for any glide to arrive; returns the last sample.
    float send(std::vector<std::vector<int>> messages)
    {
        for (const auto& m : messages)
            plugin.queueMidiEvent(0, m[0], m[1], m[2]);
        return plugin.render(9600, 960).back();
    }
    harness::SourcePlugin plugin{rate};
    MidiModSource source;
};

} // namespace

TEST(MidiModSource, EachInputScalesItsMessages)
{
    MidiRig rig;
    MidiModSource& s = rig.source;
    // Pitch bend: the centre (8192) is 2 * (8192 / 16383 - 0.5), not 0.
    s.input = Input::PitchBend;
    EXPECT_FLOAT_EQ(rig.send({{0xE0, 0, 64}}), 2.0f * (8192.0f * 6.103888154029846e-05f - 0.5f));
    EXPECT_NEAR(s.getStoredValue(MidiModSource::pitchBendEntry), 0.000061f, 1e-6f);
    EXPECT_FLOAT_EQ(rig.send({{0xE3, 0, 0}}), -1.0f);
    EXPECT_FLOAT_EQ(rig.send({{0xE3, 127, 127}}), 1.0f);
    // KB Track: 0 at note 48, 0.1 at note 60; velocity from -1 to 1.
    s.input = Input::KBTrack;
    EXPECT_NEAR(rig.send({{0x90, 60, 127}}), 0.1f, 1e-6f);
    EXPECT_FLOAT_EQ(rig.send({{0x90, 48, 1}}), 0.0f);
    s.input = Input::Velocity;
    EXPECT_FLOAT_EQ(rig.send({{0x90, 50, 127}}), 1.0f);
    EXPECT_FLOAT_EQ(rig.send({{0x80, 50, 0}, {0x90, 50, 0}}), 1.0f); // note-offs leave it
    EXPECT_NEAR(rig.send({{0x90, 50, 32}}), 2.0f * 32.0f / 127.0f - 1.0f, 1e-6f);
    // Aftertouch: channel and key pressure share one value.
    s.input = Input::Aftertouch;
    EXPECT_NEAR(rig.send({{0xD0, 100, 0}}), 100.0f / 127.0f, 1e-6f);
    EXPECT_NEAR(rig.send({{0xA0, 60, 20}}), 20.0f / 127.0f, 1e-6f);
    // A controller: number 1 is the mod wheel too, so both entries move.
    s.input = Input::Controller;
    s.controllerNumber = 1;
    EXPECT_NEAR(rig.send({{0xB0, 1, 64}}), 64.0f / 127.0f, 1e-6f);
    EXPECT_NEAR(s.getStoredValue(MidiModSource::modWheelEntry), 64.0f / 127.0f, 1e-6f);
    EXPECT_NEAR(rig.send({{0xB5, 74, 127}}), 64.0f / 127.0f, 1e-6f); // another controller
    // Choosing an input jumps (gliding) to that control's last value.
    s.controllerNumber = 74;
    EXPECT_FLOAT_EQ(rig.send({}), 1.0f);
    s.input = Input::PitchBend;
    EXPECT_FLOAT_EQ(rig.send({}), 1.0f);
    s.input = Input::ModWheel;
    EXPECT_NEAR(rig.send({}), 64.0f / 127.0f, 1e-6f);
    EXPECT_TRUE(s.isConstant());
    // A controller number past 127 from a careless caller is no controller:
    // it must not land on the entries behind the controllers.
    for (int bad : {128, 129, 132, 500, -1})
        s.controlChange(bad, 0, -0.75f);
    for (int entry = MidiModSource::modWheelEntry; entry < MidiModSource::entryCount; ++entry)
        EXPECT_NE(s.getStoredValue(entry), -0.75f) << entry;
    EXPECT_NEAR(rig.send({}), 64.0f / 127.0f, 1e-6f);
}

TEST(MidiModSource, ChangesGlideLikeParameters)
{
    // A full move (more than 0.15) glides in 20 ms, a small one longer.
    MidiRig rig;
    rig.plugin.queueMidiEvent(0, 0xB0, 1, 127);
    std::vector<float> out = rig.plugin.render(2400, 480);
    EXPECT_NEAR(out[480], 0.5f, 1e-3f); // half way after 10 ms
    EXPECT_LT(out[959], 1.0f);
    EXPECT_EQ(out[960], 1.0f);                  // 20 ms
    rig.plugin.queueMidiEvent(0, 0xB0, 1, 120); // 0.055 of 0.5: 20 + 130 * ((0.3 - 0.11) * 3.333)^2 ms
    out = rig.plugin.render(9600, 480);
    const double ms = 20.0 + 130.0 * std::pow((0.3 - (7.0 / 127.0) / 0.5) * 3.3333333, 2.0);
    const std::size_t arrival = static_cast<std::size_t>(48.0 * ms);
    EXPECT_GT(out[arrival - 48], 120.0f / 127.0f);
    EXPECT_NEAR(out[arrival + 1], 120.0f / 127.0f, 1e-6f);
}
