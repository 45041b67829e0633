// The effect under the threads of a host, for ThreadSanitizer (./dev tsan
// runs it), doing what the thread battery of tests/torture does not: an
// editor thread edits the modulation slots and removes sets, renumbering
// the slots, and reads what an editor shows of the matrix and the routing;
// a main thread restores whole states, saves them and replaces the table of
// programs while the audio thread switches programs. The matrix takes no
// lock: the edits reach its records only on the audio thread. Once everyone
// stops, one more block must leave the audio side on what the parameters say.
#include "EffectHarness.h"

#include "framework/PluginStorage.h"
#include "framework/StateRecord.h"
#include "modulation/InternalController.h"
#include "modulation/ModMatrixParamController.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "persistence/PresetLibrary.h"

#include <atomic>
#include <filesystem>
#include <thread>

using namespace effecttest;

TEST(OstrandConcurrency, SlotEditsStateRestoresAndProgramsAgainstARunningAudioThread)
{
    OstrandPlugin p(2, 48000.0f);
    set(p, "Num Active XLFOs=2");
    set(p, "Num Active EGs=1");
    set(p, "EG 1Triggering=MIDI");
    set(p, "Num Active EFs=1");
    p.applyQueuedChangesAtOnce();

    // Two full states for the main thread to restore in turn.
    StateRecord states[2];
    for (int k = 0; k < 2; ++k) {
        for (int i = 0; i < p.getParameterCount(); i += 3 + k) {
            AbstractPluginParameter& q = *p.getParameter(i);
            q.setValue(q.denormalize(static_cast<float>((i * 37 + k * 11) % 100) / 99.0f), 0);
        }
        p.saveState(states[k]);
        // Each also a preset, program k, for the audio thread to switch to.
        std::filesystem::create_directories(PresetLibrary::shared().getPath());
        ASSERT_TRUE(p.savePreset(PresetLibrary::shared().getPath() + "Concurrent " + std::to_string(k) + ".mvp"));
    }
    p.serviceControlThread();

    ModMatrixParamController& slots = *p.getParamController();
    ModulationMatrix& matrix = *p.getModulationMatrix();
    std::atomic<bool> stop{false};
    std::atomic<int> edits{0};
    std::thread editorThread([&] {
        float sink = 0.0f;
        for (int round = 0; !stop; round = ++edits) {
            const int slot = round % 24;
            p.filters[round % 4].enabled.setValue(static_cast<float>(round & 1), 0);
            p.routing.setValue(static_cast<float>(round % 8), 0);
            p.filters.getNumActiveParameter().setValue(static_cast<float>(1 + round % 4), 0);
            switch (round % 6) {
            case 0: p.addConnection(round % 26, round % 95); break;
            case 1: slots.clearSlot(slot); break;
            case 2: slots.sortSlots(24); break;
            case 3: slots.swapSlots(slot, round % 7); break;
            case 4:
                slots.setLevel(slot, static_cast<float>(round % 101) * 0.01f);
                slots.setInverted(slot, (round & 2) != 0);
                break;
            default: {
                AbstractParameterSetList& list = round % 12 == 5 ? static_cast<AbstractParameterSetList&>(p.xlfos)
                                                                 : *p.getSlotList();
                if (list.getNumActive() > list.getMinActive() + 1)
                    list.removeSet(round % list.getNumActive());
                else
                    list.getNumActiveParameter().setValue(static_cast<float>(list.count()), 0);
            }
            }
            // What an editor shows.
            for (int s = 0; s < 24; ++s)
                sink += matrix.isSlotValid(s) && matrix.isSlotComplete(s) ? matrix.getSlotDepth(s) : 0.0f;
            for (int n = 0; n < 4; ++n)
                sink += p.isFilterEnabled(n) ? p.getFilterSlot(n).getDesignFilter().lastCutoff() : 0.0f;
            sink += static_cast<float>(p.getAppliedRouting() + p.getAppliedFilterCount() +
                                       static_cast<int>(p.getAppliedRoutingMode()) + p.getPresetState().isModified());
            p.deliverPendingNotifications();
        }
        EXPECT_TRUE(std::isfinite(sink));
    });
    std::thread mainThread([&] {
        StateRecord saved;
        for (int round = 0; !stop; ++round) {
            p.loadState(states[round & 1]);
            p.saveState(saved);
            if (round % 64 == 0) { // a rescan of the presets reads the table of programs again
                PluginStorage::programListChanged();
                p.serviceControlThread();
            }
            std::this_thread::yield();
        }
    });

    const int block = 256;
    const Signal left = noise(block, 1), right = noise(block, 2);
    std::vector<float> outL(block), outR(block);
    const float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    // However the threads get scheduled, the audio thread plays on until the
    // editor has made every kind of edit many times.
    for (int b = 0; b < 400 || edits < 1200; ++b) {
        p.queueMidiEvent(block / 4, b & 1 ? 0x80 : 0x90, 60, 100);
        if (b % 10 == 0)
            p.queueMidiEvent(block / 5, 0xC0, (b / 10) % 2, 0);
        p.process(inputs, 2, outputs, 2, block);
    }
    stop = true;
    editorThread.join();
    mainThread.join();

    p.process(inputs, 2, outputs, 2, block);
    EXPECT_EQ(p.getAppliedRouting(), static_cast<int>(p.routing.getValue()));
    EXPECT_EQ(static_cast<int>(p.getAppliedRoutingMode()), static_cast<int>(p.routingMode.getValue()));
    EXPECT_EQ(p.getAppliedFilterCount(), static_cast<int>(p.filters.getNumActiveParameter().getValue()));
    for (int n = 0; n < 4; ++n)
        EXPECT_EQ(p.isFilterEnabled(n), p.filters[n].enabled.getValue() != 0.0f) << n;
    // Every slot edit arrived, and the loop check agrees with a fresh look.
    InternalController& records = matrix.getInternalController();
    for (int i = 0; i < ModulationMatrix::numSlots; ++i) {
        EXPECT_EQ(records.getSource(i), slots.getSource(i)) << i;
        EXPECT_EQ(records.getTarget(i), slots.getTarget(i)) << i;
        EXPECT_EQ(records.getLevel(i), slots.getLevel(i)) << i;
        EXPECT_EQ(records.isInverted(i), slots.isInverted(i)) << i;
        EXPECT_EQ(matrix.isSlotValid(i), records.isValidConnection(i)) << i;
    }
    for (int i = 0; i < block; ++i)
        ASSERT_TRUE(std::isfinite(outL[static_cast<std::size_t>(i)]));
}
