// The parameter order and displays, the source sections' settings, filter
// linking, the note hooks and the source levels.
#include "EffectHarness.h"

#include "effect/OstrandChannel.h"
#include "modulation/EnvelopeGenerator.h"
#include "modulation/MidiModSource.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "modulation/SourceDisplayCurves.h"
#include "modulation/Trigger.h"
#include "modulation/XLFO.h"
#include "modulation/XLFOFreqController.h"

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
        {542, "Receive MIDI"},   {544, "Audition Signal"}, {546, "Slot 1 Source"}, {547, "Slot 1 Level"},
        {548, "Slot 1 Bypassed"}, {549, "Slot 1 Inverted"}, {550, "Slot 1 Target"}, {665, "Slot 24 Target"}};
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
                                                 {"Audition Signal", 2.0f, "Side Chain"},
                                                 // 0.8 is 0.02 + 499.98 x 0.1; envelope times 3 x 0.1, 5 x 0.46.
                                                 {"XLFO 1 Frequency", 0.0f, "0.020 Hz"},
                                                 {"XLFO 1 Frequency", 0.8f, "50.018 Hz"},
                                                 {"XLFO 1 Frequency", 1.0f, "500.000 Hz"},
                                                 {"XLFO 1 Frequency Offset", -1.0f, "0.500"},
                                                 {"XLFO 1 Frequency Offset", 1.0f, "2.000"},
                                                 {"XLFO 1 Sync Mode", 7.0f, "1/4"},
                                                 {"XLFO 6 Step 16 Glide function", 3.0f, "Sine"},
                                                 {"XLFO 6 Step 16 Random", 1.0f, "Random"},
                                                 {"EG 1 Threshold", 0.9f, "0.910"},
                                                 {"EG 2Triggering", 2.0f, "MIDI"},
                                                 {"EG 3 Attack", 0.5f, "0.300 s"},
                                                 {"EG 3 Decay", 1.0f, "5.000 s"},
                                                 {"EG 3 Release", 0.9f, "2.300 s"},
                                                 {"EG 4 Sustain", 0.5f, "-6.021 dB"},
                                                 {"EF 1Input", 1.0f, "Side Chain"},
                                                 {"EF 2 Attack", 1.0f, "1.000 s"},
                                                 {"EF 2 Release", 1.0f, "5.000 s"},
                                                 {"MIDI Source 10 Input", 4.0f, "KB Track"}})
        EXPECT_EQ(parameter(p, d.name).valueToText(d.plain).rfind(d.text, 0), 0u) << d.name << " " << d.plain;
    EXPECT_EQ(parameter(p, "EG 1 Threshold").getText() + " | " + parameter(p, "XLFO 1 Frequency").getText(),
              "0.072 | 1.000 Hz");
    EXPECT_FLOAT_EQ(SourceDisplayCurves::envelopeTime(0.975f), 0.7933333f);
    EXPECT_FLOAT_EQ(SourceDisplayCurves::threshold(-0.3f), -0.072f);
    EXPECT_FLOAT_EQ(SourceDisplayCurves::xlfoFrequency(0.99f), 1.0f);
    EXPECT_FLOAT_EQ(SourceDisplayCurves::xlfoFrequency(-0.5f), 0.0f);

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

// The source sections' settings reach their nodes, and the matrix's targets
// carry display values (500 Hz, 0.3 s, 5 s); a removed XLFO hands its
// place, steps and all, to the next one.
TEST(OstrandPlugin, SourceSettingsReachTheirNodesAndMoveWithTheirSets)
{
    OstrandPlugin p(2, 48000.0f);
    p.xlfos.getNumActiveParameter().setValue(2, 0);
    p.egs.getNumActiveParameter().setValue(1, 0);
    XLFOParameterSet& second = p.xlfos[1];
    second.balance.setValue(0.25f, 0);
    second.syncMode.setValue(7, 0);
    second.getSteps().getNumActiveParameter().setValue(5, 0);
    second.getSteps()[4].value.setValue(-0.5f, 0);
    second.getSteps()[4].glideFunction.setValue(2, 0);
    second.getSteps()[4].random.setValue(1, 0);
    p.xlfos[0].frequency.setValue(1.0f, 0);
    p.egs[0].threshold.setValue(0.5f, 0);
    p.egs[0].triggering.setValue(2, 0);
    p.egs[0].attack.setValue(0.5f, 0);
    p.efs[1].release.setValue(1.0f, 0);
    p.midiSources[3].input.setValue(5, 0);
    p.midiSources[3].controllerNumber.setValue(74, 0);
    const Signal silence(9600); // the bases glide for up to 150 ms
    render(p, {silence, silence});

    const XLFO& x = p.getXLFO(1);
    EXPECT_EQ(x.balance.get(), 0.25f);
    EXPECT_EQ(p.getXLFOController(1).syncMode.get(), SyncMode::SyncQuarterBar);
    EXPECT_EQ(x.numSteps.get(), 5);
    EXPECT_EQ(x.getStep(4).value.get(), -0.5f);
    EXPECT_EQ(x.getStep(4).glideCurve.get(), XLFO::GlideCurve::Sqrt);
    EXPECT_TRUE(x.getStep(4).random.get());
    EXPECT_EQ(p.getEG(0).getTrigger()->threshold.get(), 0.16f);
    EXPECT_FALSE(p.getEG(0).getTrigger()->enabled.get());
    EXPECT_EQ(p.getMidiSource(3).input.get(), MidiModSource::MidiInput::Controller);
    EXPECT_EQ(p.getMidiSource(3).controllerNumber.get(), 74);
    const ModulationMatrix& m = *p.getModulationMatrix();
    EXPECT_FLOAT_EQ(m.getTargetEntry(16).base, 500.0f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(34).base, 0.3f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(61).base, 5.0f);
    // The EG reads its attack through the matrix at its next start.
    p.getEG(0).midiStart();
    render(p, {silence, silence});
    EXPECT_FLOAT_EQ(p.getEG(0).getAttack(), 0.3f);

    p.xlfos.getNumActiveParameter().setValue(3, 0);
    XLFOParameterSet& third = p.xlfos[2];
    third.balance.setValue(0.1f, 0);
    third.getSteps().getNumActiveParameter().setValue(7, 0);
    third.getSteps()[6].value.setValue(0.75f, 0);
    second.getSteps()[0].value.setValue(-1.0f, 0);
    p.xlfos.removeSet(1);
    EXPECT_EQ(p.xlfos.getNumActive(), 2);
    EXPECT_FLOAT_EQ(second.balance.getValue(), 0.1f);
    EXPECT_EQ(second.getSteps().getNumActive(), 7);
    EXPECT_FLOAT_EQ(second.getSteps()[6].value.getValue(), 0.75f);
    EXPECT_FLOAT_EQ(second.getSteps()[0].value.getValue(), 0.0f);
    // The set that fell off the end is back to its defaults, steps included.
    EXPECT_FLOAT_EQ(third.balance.getValue(), 0.5f);
    EXPECT_EQ(third.getSteps().getNumActive(), 2);
    EXPECT_FLOAT_EQ(third.getSteps()[6].value.getValue(), 0.0f);
    // Inserting after the first XLFO copies it, steps and all.
    p.xlfos[0].getSteps()[3].value.setValue(0.25f, 0);
    p.xlfos.insertSet(1);
    EXPECT_EQ(p.xlfos.getNumActive(), 3);
    EXPECT_FLOAT_EQ(p.xlfos[1].getSteps()[3].value.getValue(), 0.25f);
    EXPECT_EQ(p.xlfos[2].getSteps().getNumActive(), 7);
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
