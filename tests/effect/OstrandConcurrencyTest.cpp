// The effect under the threads of an LV2 host, for ThreadSanitizer (./dev
// tsan runs it): the audio thread applies the host's control ports and
// learned MIDI controllers and processes; an editor thread turns knobs,
// edits slots, reads everything an editor shows and delivers the
// notifications of the audio thread's changes (program changes among them);
// a main thread restores whole states, saves them and replaces the table of
// programs. Once everyone stops, one more block must leave the
// audio side on what the parameters say.
#include "EffectHarness.h"

#include "framework/MidiControllerMap.h"
#include "framework/PluginStorage.h"
#include "framework/RealtimeThread.h"
#include "framework/StateRecord.h"
#include "modulation/ModMatrixParamController.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "persistence/PresetLibrary.h"

#include <atomic>
#include <filesystem>
#include <thread>

using namespace effecttest;

namespace {

struct CountingEditor final : GenericPlugin::Listener, GenericPlugin::Adapter {
    void changed(unsigned, int) override { ++heard; }
    void parameterChanged(int) override { ++toHost; }
    void presetChanged() override {}
    std::atomic<int> heard{0};
    std::atomic<int> toHost{0};
};

} // namespace

TEST(OstrandConcurrency, EveryWriterAndTheEditorsReadsAgainstARunningAudioThread)
{
    OstrandPlugin p(2, 48000.0f);
    set(p, "Num Active XLFOs=2");
    set(p, "Num Active EGs=1");
    set(p, "EG 1Triggering=MIDI");
    set(p, "Num Active EFs=1");
    set(p, "Num Active MIDI Sources=2");
    p.applyQueuedChangesAtOnce();
    CountingEditor editor;
    p.setListener(&editor);
    p.setAdapter(&editor);
    MidiControllerMap& map = *GenericPlugin::getSharedControllerMap();
    map.assign(21, p.findParameter("Filter 1 Freq"));
    map.assign(22, p.findParameter("Routing"));
    map.assign(23, p.findParameter("Num Active Filters"));

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

    const int routing = p.findParameter("Routing");
    const int routingMode = p.findParameter("Routing Mode");
    const int filterCount = p.findParameter("Num Active Filters");
    std::atomic<bool> stop{false};
    std::thread editorThread([&] {
        ModMatrixParamController& slots = *p.getParamController();
        float sink = 0.0f;
        for (int round = 0; !stop; ++round) {
            p.filters[round % 4].freq.setValue(static_cast<float>(round % 100) / 100.0f, 0);
            p.filters[round % 4].enabled.setValue(static_cast<float>(round & 1), 0);
            p.getParameter(routing)->setValue(static_cast<float>(round % 8), 0);
            p.getParameter(filterCount)->setValue(static_cast<float>(1 + round % 4), 0);
            if (round % 5 == 0)
                p.addConnection(round % 26, round % 71);
            if (round % 7 == 0)
                slots.clearSlot(round % 24);
            if (round % 11 == 0)
                slots.sortSlots(24);
            // What an editor shows.
            for (int s = 0; s < 26; ++s)
                sink += p.getSourceLevel(s);
            for (int n = 0; n < 4; ++n)
                sink += p.isFilterEnabled(n) ? p.getFilterSlot(n).getDesignFilter().lastCutoff() : 0.0f;
            sink += static_cast<float>(p.getAppliedRouting() + p.getAppliedFilterCount() + p.getHeldNotes() +
                                       static_cast<int>(p.getAppliedRoutingMode()));
            for (int s = 0; s < 24; ++s)
                sink += p.getModulationMatrix()->isSlotValid(s) ? p.getModulationMatrix()->getSlotDepth(s) : 0.0f;
            sink += p.getPresetState().isModified() ? 1.0f : 0.0f;
            sink += static_cast<float>(p.getPresetState().getName().size());
            p.deliverPendingNotifications();
        }
        EXPECT_TRUE(std::isfinite(sink));
    });
    std::thread mainThread([&] {
        StateRecord saved;
        for (int round = 0; !stop; ++round) {
            p.loadState(states[round & 1]);
            p.saveState(saved);
            // A rescan of the presets: the table of programs is read again
            // and replaced while the audio thread may be switching programs.
            if (round % 64 == 0) {
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
    for (int b = 0; b < 400; ++b) {
        {
            // The host's control ports, applied in its audio callback.
            RealtimeThreadScope audioThread;
            p.getParameter(routingMode)->setValue(static_cast<float>((b / 50) % 3), 1);
            p.filters[1].peak.setValue(static_cast<float>(b % 10) / 10.0f, 1);
            p.queueMidiEvent(b % block, 0xB0, 21, b & 127);
            p.queueMidiEvent(block / 2, 0xB0, 22, (b * 16) & 127);
            p.queueMidiEvent(block / 3, 0xB0, 23, (b * 40) & 127);
            p.queueMidiEvent(block / 4, b & 1 ? 0x80 : 0x90, 60, 100);
            if (b % 10 == 0)
                p.queueMidiEvent(block / 5, 0xC0, (b / 10) % 2, 0);
        }
        p.process(inputs, 2, outputs, 2, block);
    }
    stop = true;
    editorThread.join();
    mainThread.join();
    map.clearAll();

    p.process(inputs, 2, outputs, 2, block);
    EXPECT_EQ(p.getAppliedRouting(), static_cast<int>(p.routing.getValue()));
    EXPECT_EQ(static_cast<int>(p.getAppliedRoutingMode()), static_cast<int>(p.routingMode.getValue()));
    EXPECT_EQ(p.getAppliedFilterCount(), static_cast<int>(p.filters.getNumActiveParameter().getValue()));
    for (int n = 0; n < 4; ++n)
        EXPECT_EQ(p.isFilterEnabled(n), p.filters[n].enabled.getValue() != 0.0f) << n;
    for (int i = 0; i < block; ++i)
        ASSERT_TRUE(std::isfinite(outL[static_cast<std::size_t>(i)]));
    p.deliverPendingNotifications();
    EXPECT_GT(editor.heard, 0);
    EXPECT_GT(editor.toHost, 0);
    p.setListener(nullptr);
    p.setAdapter(nullptr);
}
