// The whole effect on the audio thread allocates nothing with everything in
// use. (Recovery from input that is not finite: the torture battery.)
#include "EffectHarness.h"

#include "AllocationCounter.h"
#include "effect/OstrandChannel.h"
#include "modulation/ModMatrixParamController.h"

#include <cmath>

using namespace effecttest;

TEST(OstrandRealtime, EverythingInUseAllocatesNothing)
{
    OstrandPlugin p(2, 48000.0f);
    const char* responses[] = {"LP", "HP", "BP", "LP"};
    set(p, "Num Active Filters=4");
    set(p, "Routing=5");
    for (int n = 1; n <= 4; ++n) {
        const std::string f = "Filter " + std::to_string(n);
        set(p, f + " Slope=48");
        set(p, f + " Response=" + responses[n - 1]);
        set(p, f + " Peak=0.7");
        set(p, f + " Delay=" + std::to_string(n * 3) + " ms");
        set(p, f + " Pan=0.5");
    }
    set(p, "Num Active XLFOs=6");
    set(p, "Num Active EGs=6");
    set(p, "EG 1Triggering=Side Chain");
    set(p, "EG 2Triggering=MIDI");
    set(p, "Num Active EFs=4");
    set(p, "EF 1Input=Side Chain");
    set(p, "Num Active MIDI Sources=10");
    set(p, "XLFO 1 Sync Mode=1/4");
    set(p, "XLFO 2 MIDI Trigger=On");
    // Slots from every kind of source onto filters, gains and other slots.
    const int connections[][2] = {{0, 0},   {1, 4},  {6, 2},  {7, 66}, {12, 3},
                                  {13, 70}, {16, 9}, {2, 71}, {14, 16}};
    for (const auto& c : connections)
        ASSERT_GE(p.addConnection(c[0], c[1]), 0);
    p.applyQueuedChangesAtOnce();

    const int block = 512;
    const Signal left = noise(block, 1), right = noise(block, 2), side = sine(block, 60.0, 0.9);
    std::vector<float> outL(block), outR(block);
    const float* inputs[4] = {left.data(), right.data(), side.data(), side.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    // Edits a user makes while playing, each stepping through its range:
    // routing and filter count, slots rewired and re-levelled, list sizes,
    // the step count, sync, triggering and MIDI inputs of the sources.
    const std::vector<std::pair<std::string, int>> edits = {{"Routing", 8},
                                                            {"Num Active Filters", 4},
                                                            {"Audition Signal", 3},
                                                            {"Auto Mute Self-Osc", 2},
                                                            {"Num Active Slots", 25},
                                                            {"Slot 2 Source", 27},
                                                            {"Slot 3 Target", 96},
                                                            {"Slot 4 Inverted", 2},
                                                            {"Slot 5 Bypassed", 2},
                                                            {"Slot 6 Level", 5},
                                                            {"Num Active XLFO 1 Steps", 16},
                                                            {"XLFO 1 Sync Mode", 12},
                                                            {"XLFO 2 Step 2 Random", 2},
                                                            {"EF 1 Attack", 5},
                                                            {"EG 2Triggering", 3},
                                                            {"MIDI Source 3 Input", 6},
                                                            {"Num Active EGs", 7},
                                                            {"Filter 2 Enabled", 2}};
    std::size_t allocations = 0;
    // Every characteristic passes through every filter, the modes change,
    // notes, controllers, pitch bend and program changes arrive: all of it
    // applied on the audio thread.
    for (int round = 0; round < 33; ++round) {
        for (int n = 0; n < 4; ++n)
            p.filters[n].characteristic.setValue(static_cast<float>((round + 3 * n) % 11), 0);
        p.routingMode.setValue(static_cast<float>(round / 11), 0);
        p.filters[round % 4].linked.setValue(static_cast<float>(round % 2), 0);
        for (const auto& [name, steps] : edits) {
            AbstractPluginParameter& e = parameter(p, name);
            const float position = static_cast<float>((round * 7 + static_cast<int>(name.size())) % steps);
            e.setValue(e.isEnumerated() ? e.getMin() + position
                                        : e.getMin() + position / static_cast<float>(steps - 1) *
                                                           (e.getMax() - e.getMin()),
                       0);
        }
        p.setTransport(140.0, round * 0.25);
        p.queueMidiEvent(round % block, round % 2 ? 0x80 : 0x90, 60, 100);
        p.queueMidiEvent(block / 2, 0xB0, 1, round);
        p.queueMidiEvent(block / 3, 0xE0, round, 64);
        p.queueMidiEvent(block / 4, 0xD0, round, 0);
        p.queueMidiEvent(block - 1, round % 2 ? 0xC0 : 0xB0, round % 2 ? round : 123, 0);
        testsupport::AllocationScope scope;
        p.process(inputs, 4, outputs, 2, block);
        allocations += scope.count();
        for (int i = 0; i < block; ++i)
            ASSERT_TRUE(std::isfinite(outL[static_cast<std::size_t>(i)]) &&
                        std::isfinite(outR[static_cast<std::size_t>(i)]));
    }
    if (testsupport::allocationCountingAvailable()) {
        EXPECT_EQ(allocations, 0u);
    }
    EXPECT_GT(rms(Signal(outL.begin(), outL.end())), 1e-3);
}
