// The parameter order and displays, filter linking, the note hooks and the
// source levels.
#include "EffectHarness.h"

#include "effect/OstrandChannel.h"
#include "modulation/EnvelopeGenerator.h"
#include "modulation/MidiModSource.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "modulation/XLFO.h"

#include <cmath>

using namespace effecttest;

// The host order is what presets, sessions and the LV2 ports are written
// in, so a parameter must never move; the texts are what the editor, the
// renderer and the LV2 port labels show, worked out from the display rules
// (2^(2.2666 + 13.9398 x) Hz, the delay curve times 50 ms, pan as -1..1).
TEST(OstrandPlugin, HostOrderAndDisplays)
{
    OstrandPlugin p(2, 48000.0f);
    ASSERT_EQ(p.getParameterCount(), OstrandPlugin::parameterCount);
    const std::vector<std::pair<int, std::string>> order = {
        {0, "Input Gain"},       {4, "Mix"},        {6, "Routing Mode"},         {8, "Filter 1 Freq"},
        {16, "Filter 1 Linked"}, {17, "Filter 2 Freq"},  {43, "Filter 4 Linked"}, {45, "XLFO 1 Frequency"},
        {471, "Num Active EGs"}, {508, "Num Active EFs"}, {541, "MIDI Source 10 Controller Number"},
        {542, "Receive MIDI"},   {544, "Audition Signal"}, {546, "Slot 1 Source"}, {665, "Slot 24 Target"}};
    for (const auto& [index, name] : order)
        EXPECT_EQ(p.getParameter(index)->getName(), name) << index;
    for (int i = 0; i < p.getParameterCount(); ++i)
        ASSERT_EQ(p.getParameter(i)->getIndex(), i);
    ASSERT_EQ(p.getVirtualParameterCount(), 2);
    EXPECT_EQ(p.getVirtualParameter(1048577)->getName(), "Filter Link Peak");
    // Slot targets name these numbers in presets.
    EXPECT_EQ(p.inputGain.getTarget(), 66);
    EXPECT_EQ(p.filters[3].delay.getTarget(), 15);

    struct Display {
        const char* name;
        float plain;
        const char* text;
    };
    for (const Display& d : std::vector<Display>{{"Filter 1 Freq", 0.0f, "4.812 Hz"},
                                                 {"Filter 1 Freq", 0.5f, "603."},
                                                 {"Filter 1 Freq", 1.0f, "75615."},
                                                 {"Filter 1 Pan", -3.5f, "-1.000"},
                                                 {"Filter 1 Delay", 0.5f, "8.000 ms"},
                                                 {"Filter 1 Delay", 0.8f, "31.750 ms"}, // 50 × (0.36 + 0.55 / 2)
                                                 {"Filter 1 Delay", 1.0f, "50.000 ms"},
                                                 {"Input Gain", -6.0f, "-6.000 dB"},
                                                 {"Mix", 25.0f, "25.000 %"},
                                                 {"Filter 1 Characteristic", 0.0f, "Merovance One"},
                                                 {"Filter 1 Characteristic", 10.0f, "Clean"},
                                                 {"Filter 1 Slope", 3.0f, "48"},
                                                 {"Routing Mode", 2.0f, "Mid/Side"},
                                                 {"Audition Signal", 2.0f, "Side Chain"}})
        EXPECT_EQ(parameter(p, d.name).valueToText(d.plain).rfind(d.text, 0), 0u) << d.name << " " << d.plain;

    // What the matrix receives: a linear gain, -1..1 for the mix, log2 Hz.
    p.process(nullptr, 0, nullptr, 0, 0);
    const ModulationMatrix& m = *p.getModulationMatrix();
    EXPECT_FLOAT_EQ(m.getTargetEntry(66).base, 1.0f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(70).base, 1.0f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(0).base, 16.2064f);
    p.inputGain.setValue(6.0f, 0);
    p.mix.setValue(0.0f, 0);
    p.filters[0].delay.setValue(0.25f, 0);
    p.process(nullptr, 0, nullptr, 0, 0);
    EXPECT_FLOAT_EQ(m.getTargetEntry(66).base, static_cast<float>(std::pow(10.0, 6.0 / 20.0)));
    EXPECT_FLOAT_EQ(m.getTargetEntry(70).base, -1.0f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(3).base, 2.5f);

    // A filter's slope never becomes 0.
    p.filters[1].slope.setValue(0.0f, 0);
    EXPECT_EQ(p.filters[1].slope.getText(), "12");
}

TEST(OstrandPlugin, LinkedFiltersMoveTogetherFromMidi)
{
    OstrandPlugin p(2, 48000.0f);
    p.filters[0].freq.setValue(0.3f, 0);
    p.filters[1].freq.setValue(0.4f, 0);
    p.filters[2].freq.setValue(0.5f, 0);
    p.filters[0].linked.setValue(1.0f, 0);
    p.filters[2].linked.setValue(1.0f, 0);
    p.applyQueuedChanges();
    EXPECT_EQ(p.getLinkFreq().getLinkedCount(), 2);
    EXPECT_EQ(p.getLinkPeak().getLinkedCount(), 2);

    // The group's mean goes to 0.6; filters 1 and 3 keep their distance.
    p.setParameterByMidi(1048576, 0.6f);
    EXPECT_NEAR(p.filters[0].freq.getValue(), 0.5f, 1e-6f);
    EXPECT_NEAR(p.filters[2].freq.getValue(), 0.7f, 1e-6f);
    EXPECT_EQ(p.filters[1].freq.getValue(), 0.4f);
    EXPECT_EQ(p.filters[3].freq.getValue(), 1.0f);
    p.setParameterByMidi(1048577, 0.8f);
    EXPECT_NEAR(p.filters[0].peak.getValue(), 0.8f, 1e-6f);
    EXPECT_EQ(p.filters[1].peak.getValue(), 0.0f);

    // Link filter 2, then unlink it and filter 1: only filter 3 is left.
    p.filters[1].linked.setValue(1.0f, 0);
    p.applyQueuedChanges();
    EXPECT_EQ(p.getLinkFreq().getLinkedCount(), 3);
    p.filters[1].linked.setValue(0.0f, 0);
    p.filters[0].linked.setValue(0.0f, 0);
    p.applyQueuedChanges();
    EXPECT_EQ(p.getLinkFreq().getLinkedCount(), 1);
    EXPECT_TRUE(p.getLinkFreq().isLinked(&p.filters[2].freq));
    EXPECT_FALSE(p.getLinkPeak().isLinked(&p.filters[0].peak));
}

TEST(OstrandPlugin, NotesDriveTheSourcesAndTheLevelsShowThem)
{
    OstrandPlugin p(2, 48000.0f);
    set(p, "Num Active XLFOs=1");
    set(p, "XLFO 1 MIDI Trigger=On");
    set(p, "Num Active EGs=1");
    set(p, "EG 1Triggering=MIDI");
    set(p, "EG 1 Attack=0.5");
    set(p, "Num Active MIDI Sources=2");
    set(p, "MIDI Source 1 Input=Velocity");
    set(p, "MIDI Source 2 Input=KB Track");
    p.applyQueuedChangesAtOnce();
    const Signal silence(4800);

    render(p, {silence, silence});
    // 1 Hz: a tenth of a cycle per 4800 samples.
    EXPECT_NEAR(p.getXLFO(0).getPhase(), 0.1, 1e-3);
    // Through the decoder and the effect's channel receiver.
    p.queueMidiEvent(0, 0x90, 60, 127);
    p.queueMidiEvent(0, 0x90, 64, 127);
    render(p, {silence, silence}, 4800);
    EXPECT_EQ(p.getHeldNotes(), 2);
    EXPECT_NEAR(p.getXLFO(0).getPhase(), 0.1, 1e-3) << "restarted by the notes, not at 0.2";
    EXPECT_TRUE(p.getEG(0).isGateOpen());
    // Velocity 1 shows as 1, KB Track of note 64 as (16/120 + 0.3917) × 1.0084.
    EXPECT_NEAR(p.getSourceLevel(16), 1.0f, 1e-4f);
    EXPECT_NEAR(p.getSourceLevel(17), (16.0f / 120.0f + 0.39166668f) * 1.0084033f, 1e-4f);
    EXPECT_GT(p.getSourceLevel(6), 0.0f);
    EXPECT_LE(p.getSourceLevel(6), 1.0f);
    EXPECT_GE(p.getSourceLevel(0), 0.0f);
    EXPECT_LE(p.getSourceLevel(0), 1.0f);
    EXPECT_EQ(p.getSourceLevel(26), 0.0f);

    // The last note off releases the envelope (the counting rules are the
    // note triggers' own tests').
    p.queueMidiEvent(0, 0x80, 60, 0);
    p.queueMidiEvent(0, 0x80, 64, 0);
    render(p, {silence, silence}, 4800);
    EXPECT_FALSE(p.getEG(0).isGateOpen());

    // "Receive MIDI" "Disabled": notes no longer arrive.
    set(p, "Receive MIDI=Disabled");
    render(p, {silence, silence}, 4800);
    p.queueMidiEvent(0, 0x90, 70, 100);
    render(p, {silence, silence}, 4800);
    EXPECT_EQ(p.getHeldNotes(), 0);
}
