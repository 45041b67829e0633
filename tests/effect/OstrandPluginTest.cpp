// The parameter table of a fresh instance, the component kinds, filter
// linking, the note hooks and the source levels.
#include "EffectHarness.h"

#include "effect/OstrandChannel.h"
#include "effect/SectionPresetKind.h"
#include "modulation/EnvelopeGenerator.h"
#include "modulation/MidiModSource.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "modulation/XLFO.h"

#include <cmath>

using namespace effecttest;

namespace {

std::string textAt(const OstrandPlugin& p, const std::string& name, float plain)
{
    return parameter(p, name).valueToText(plain);
}

} // namespace

TEST(OstrandPlugin, HostOrderNamesAndCount)
{
    OstrandPlugin p(2, 48000.0f);
    ASSERT_EQ(p.getParameterCount(), OstrandPlugin::parameterCount);
    const std::vector<std::pair<int, std::string>> expected = {
        {0, "Input Gain"},           {1, "Input Pan"},          {2, "Output Gain"},
        {3, "Output Pan"},           {4, "Mix"},                {5, "Routing"},
        {6, "Routing Mode"},         {7, "Num Active Filters"}, {8, "Filter 1 Freq"},
        {9, "Filter 1 Pan"},         {10, "Filter 1 Peak"},     {11, "Filter 1 Characteristic"},
        {12, "Filter 1 Response"},   {13, "Filter 1 Slope"},    {14, "Filter 1 Delay"},
        {15, "Filter 1 Enabled"},    {16, "Filter 1 Linked"},   {17, "Filter 2 Freq"},
        {43, "Filter 4 Linked"},     {44, "Num Active XLFOs"},  {45, "XLFO 1 Frequency"},
        {471, "Num Active EGs"},     {508, "Num Active EFs"},   {521, "Num Active MIDI Sources"},
        {541, "MIDI Source 10 Controller Number"},              {542, "Receive MIDI"},
        {543, "Auto Mute Self-Osc"}, {544, "Audition Signal"},  {545, "Num Active Slots"},
        {546, "Slot 1 Source"},      {665, "Slot 24 Target"}};
    for (const auto& [index, name] : expected)
        EXPECT_EQ(p.getParameter(index)->getName(), name) << index;
    for (int i = 0; i < p.getParameterCount(); ++i)
        ASSERT_EQ(p.getParameter(i)->getIndex(), i);

    // The two MIDI-only link parameters.
    ASSERT_EQ(p.getVirtualParameterCount(), 2);
    EXPECT_EQ(p.getVirtualParameter(1048576)->getName(), "Filter Link Freq");
    EXPECT_EQ(p.getVirtualParameter(1048577)->getName(), "Filter Link Peak");

    // Modulation targets of the table.
    EXPECT_EQ(p.inputGain.getTarget(), 66);
    EXPECT_EQ(p.mix.getTarget(), 70);
    EXPECT_EQ(p.filters[2].freq.getTarget(), 8);
    EXPECT_EQ(p.filters[3].delay.getTarget(), 15);
}

TEST(OstrandPlugin, FreshInstanceDefaultsAndTexts)
{
    OstrandPlugin p(2, 48000.0f);
    auto text = [&](const std::string& name) { return parameter(p, name).getText(); };
    EXPECT_EQ(text("Input Gain"), "0.000 dB");
    EXPECT_EQ(text("Input Pan"), "0.000");
    EXPECT_EQ(text("Output Gain"), "0.000 dB");
    EXPECT_EQ(text("Output Pan"), "0.000");
    EXPECT_EQ(text("Mix"), "100.000 %");
    EXPECT_EQ(text("Routing"), "0");
    EXPECT_EQ(text("Routing Mode"), "Stereo");
    EXPECT_EQ(text("Num Active Filters"), "1");
    EXPECT_EQ(text("Receive MIDI"), "Enabled");
    EXPECT_EQ(text("Auto Mute Self-Osc"), "On");
    EXPECT_EQ(text("Audition Signal"), "Output");
    for (int n = 1; n <= 4; ++n) {
        const std::string f = "Filter " + std::to_string(n);
        EXPECT_EQ(parameter(p, f + " Freq").getValue(), 1.0f);
        EXPECT_EQ(text(f + " Pan"), "0.000");
        EXPECT_EQ(text(f + " Peak"), "0.000");
        EXPECT_EQ(text(f + " Characteristic"), "Gentle");
        EXPECT_EQ(text(f + " Response"), "LP");
        EXPECT_EQ(text(f + " Slope"), "12");
        EXPECT_EQ(text(f + " Delay"), "0.000 ms");
        EXPECT_EQ(text(f + " Enabled"), "Enabled");
        EXPECT_EQ(text(f + " Linked"), "Unlinked");
    }

    // The displays: 2^(2.2666 + 13.9398 x) Hz, the delay curve times 50 ms,
    // the pan shown as -1..1, gains in dB, the mix in percent.
    EXPECT_EQ(textAt(p, "Filter 1 Freq", 0.0f), "4.812 Hz");
    EXPECT_EQ(textAt(p, "Filter 1 Freq", 0.5f).substr(0, 4), "603.");
    EXPECT_EQ(textAt(p, "Filter 1 Freq", 1.0f).substr(0, 6), "75615.");
    EXPECT_EQ(textAt(p, "Filter 1 Pan", -3.5f), "-1.000");
    EXPECT_EQ(textAt(p, "Filter 1 Delay", 0.5f), "8.000 ms");
    EXPECT_EQ(textAt(p, "Filter 1 Delay", 0.8f), "31.750 ms"); // 50 × (0.36 + 0.55 / 2)
    EXPECT_EQ(textAt(p, "Filter 1 Delay", 1.0f), "50.000 ms");
    EXPECT_EQ(textAt(p, "Input Gain", -6.0f), "-6.000 dB");
    EXPECT_EQ(textAt(p, "Mix", 25.0f), "25.000 %");
    EXPECT_EQ(textAt(p, "Filter 1 Characteristic", 10.0f), "Clean");
    EXPECT_EQ(textAt(p, "Filter 1 Characteristic", 0.0f), "Merovance One");
    EXPECT_EQ(textAt(p, "Filter 1 Slope", 3.0f), "48");
    EXPECT_EQ(textAt(p, "Routing Mode", 2.0f), "Mid/Side");
    EXPECT_EQ(textAt(p, "Audition Signal", 2.0f), "Side Chain");

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
    EXPECT_EQ(p.filters[1].slope.getValue(), 1.0f);
    EXPECT_EQ(p.filters[1].slope.getText(), "12");

    // Help texts, some shared, some absent.
    EXPECT_EQ(p.inputGain.getHelpText().rfind("The combined Input Gain/Pan knob controls", 0), 0u);
    EXPECT_EQ(p.inputPan.getHelpText(), p.inputGain.getHelpText());
    EXPECT_EQ(p.routingMode.getHelpText(), p.routing.getHelpText());
    EXPECT_NE(p.filters[0].freq.getHelpText().find("this value will pass through.\n\nTip: You can"),
              std::string::npos);
    EXPECT_TRUE(p.filters[0].enabled.getHelpText().empty());
    EXPECT_TRUE(p.filters.getNumActiveParameter().getHelpText().empty());
    EXPECT_TRUE(p.receiveMidi.getHelpText().empty());
}

TEST(OstrandPlugin, ComponentKindsAndSectionPresets)
{
    OstrandPlugin p(1, 44100.0f);
    ASSERT_EQ(p.getComponentKindCount(), 6);
    const int instances[] = {1, 6, 6, 4, 10, 1};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(p.getComponentInstanceCount(k), instances[k]) << k;
    const auto& filterKind = p.getComponentParameters(0, 0);
    ASSERT_EQ(filterKind.size(), 39u); // Num Active, 4 × 9, Routing, Routing Mode
    EXPECT_EQ(filterKind.front()->getName(), "Num Active Filters");
    EXPECT_EQ(filterKind.back()->getName(), "Routing Mode");
    EXPECT_EQ(p.getComponentParameters(1, 5).front()->getName(), "XLFO 6 Frequency");
    EXPECT_EQ(p.getComponentParameters(1, 5).size(), 6u + 1u + 64u);
    EXPECT_EQ(p.getComponentParameters(2, 0).size(), 6u);
    EXPECT_EQ(p.getComponentParameters(3, 3).front()->getName(), "EF 4Input");
    EXPECT_EQ(p.getComponentParameters(4, 9).size(), 2u);
    EXPECT_EQ(p.getComponentParameters(5, 0).size(), 121u);
    EXPECT_EQ(std::string(sectionPresetKinds[0].extension), ".filters");
    EXPECT_EQ(std::string(sectionPresetKinds[5].folder), "Slots");
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

    // The last note off releases the envelope; note 0 resets the count.
    p.queueMidiEvent(0, 0x80, 60, 0);
    render(p, {silence, silence}, 4800);
    EXPECT_TRUE(p.getEG(0).isGateOpen());
    p.queueMidiEvent(0, 0x80, 64, 0);
    render(p, {silence, silence}, 4800);
    EXPECT_FALSE(p.getEG(0).isGateOpen());
    p.queueMidiEvent(0, 0x90, 70, 100);
    p.queueMidiEvent(0, 0x90, 0, 100);
    render(p, {silence, silence}, 4800);
    EXPECT_EQ(p.getHeldNotes(), 0);

    // "Receive MIDI" "Disabled": notes no longer arrive.
    set(p, "Receive MIDI=Disabled");
    render(p, {silence, silence}, 4800);
    p.queueMidiEvent(0, 0x90, 70, 100);
    render(p, {silence, silence}, 4800);
    EXPECT_EQ(p.getHeldNotes(), 0);
}
