#include "TestPlugin.h"

#include "AllocationCounter.h"
#include "framework/MidiControllerMap.h"
#include "framework/MidiMultiVirtualPluginParameter.h"
#include "framework/ScopedDenormalFlush.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

using namespace testplugin;

namespace {

struct Buffers {
    explicit Buffers(int channels, int n)
        : data(static_cast<std::size_t>(channels), std::vector<float>(static_cast<std::size_t>(n)))
    {
        for (auto& d : data)
            pointers.push_back(d.data());
    }
    std::vector<std::vector<float>> data;
    std::vector<float*> pointers;
};

} // namespace

TEST(GenericPlugin, HostChangesAreNotEchoedAndBatchesNotifyOnce)
{
    TestPlugin plugin;
    CountingAdapter adapter;
    CountingListener listener;
    plugin.setAdapter(&adapter);
    plugin.setListener(&listener);
    EXPECT_FALSE(plugin.getPresetState().isModified());

    plugin.parameter(0).setValue(0.5f, 1); // from the host
    EXPECT_EQ(adapter.calls, 0);
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(listener.lastIndex, 0);
    EXPECT_EQ(listener.lastMask, GenericPlugin::valuesChangedMask);
    EXPECT_TRUE(plugin.getPresetState().isModified());

    plugin.parameter(1).setValue(0.5f, 0); // from the editor
    EXPECT_EQ(adapter.calls, 1);
    EXPECT_EQ(adapter.lastIndex, 1);
    EXPECT_EQ(listener.calls, 2);

    // From the host adapter on the audio thread: the host tells its own
    // view, so neither the adapter nor the listener hears of it here.
    plugin.parameter(5).setValue(0.25f, GenericPlugin::changeFromHost | GenericPlugin::changeWithoutListener);
    EXPECT_EQ(adapter.calls, 1);
    EXPECT_EQ(listener.calls, 2);

    plugin.beginBatch();
    plugin.beginBatch();
    plugin.parameter(2).setValue(0.1f, 0);
    plugin.parameter(3).setValue(0.2f, 1);
    plugin.parameter(4).setValue(0.3f, 0);
    plugin.endBatch();
    EXPECT_EQ(adapter.calls, 1);
    EXPECT_EQ(listener.calls, 2);
    plugin.endBatch();
    EXPECT_EQ(adapter.calls, 2);
    EXPECT_EQ(adapter.allCalls, 1);
    EXPECT_EQ(listener.calls, 3);
    EXPECT_EQ(listener.lastIndex, -1);

    // A batch without changes says nothing; an unbalanced end is harmless.
    {
        GenericPlugin::Batch quiet(plugin);
    }
    plugin.endBatch();
    EXPECT_EQ(plugin.getBatchDepth(), 0);
    EXPECT_EQ(adapter.calls, 2);

    // Changes reach the DSP side only when a block starts.
    EXPECT_EQ(plugin.applied(4), 0.0f);
    plugin.process(nullptr, 0, nullptr, 0, 16);
    EXPECT_FLOAT_EQ(plugin.applied(4), 0.3f);
    EXPECT_FLOAT_EQ(plugin.applied(0), 0.5f);
    EXPECT_FLOAT_EQ(plugin.applied(5), 0.25f);
    plugin.setListener(nullptr);
}

TEST(GenericPlugin, SubBlocksSplitAtTheGraphBlockSizeAndAtEvents)
{
    TestPlugin plugin;
    const int n = 3000;
    Buffers in(2, n), out(2, n);
    for (int i = 0; i < n; ++i) {
        in.data[0][static_cast<std::size_t>(i)] = static_cast<float>(i);
        in.data[1][static_cast<std::size_t>(i)] = -static_cast<float>(i);
    }
    plugin.queueMidiEvent(1500, 0x90, 60, 100);
    plugin.queueMidiEvent(3000, 0x90, 61, 100); // at numSamples: after the block
    plugin.queueMidiEvent(7000, 0x91, 62, 100); // beyond: after the block too
    plugin.process(in.pointers.data(), 2, out.pointers.data(), 2, n);

    const PassThrough& node = plugin.channel(0).node;
    auto lengths = [&] { return std::vector<int>(node.lengths.begin(), node.lengths.begin() + node.count); };
    EXPECT_EQ(lengths(), (std::vector<int>{1024, 476, 1024, 476}));
    const NoteRecorder& notes = *plugin.notes;
    EXPECT_EQ(std::vector<std::uint32_t>(notes.positions.begin(), notes.positions.begin() + notes.count),
              (std::vector<std::uint32_t>{1500, 3000, 3000}));
    EXPECT_EQ(notes.keys[2], 62);
    EXPECT_EQ(out.data[0], in.data[0]);
    EXPECT_EQ(out.data[1], in.data[1]);

    // More outputs than channels: the extra ones are silent; a host block
    // larger than the graph block with no events splits at 1024 only.
    Buffers out3(3, 2100);
    out3.data[2].assign(2100, 9.0f);
    plugin.process(in.pointers.data(), 2, out3.pointers.data(), 3, 2100);
    EXPECT_EQ(lengths(), (std::vector<int>{1024, 476, 1024, 476, 1024, 1024, 52}));
    EXPECT_EQ(out3.data[2], std::vector<float>(2100, 0.0f));
}

namespace {
// Answers every note with another one at once, like a host thread that keeps
// sending while the block runs.
struct EchoingListener final : MidiListener {
    explicit EchoingListener(GenericPlugin& p) : plugin(p) {}
    void noteOn(int key, float) override
    {
        if (++heard < 100000)
            plugin.queueMidiEvent(0, 0x90, key, 100);
    }
    GenericPlugin& plugin;
    int heard = 0;
};
} // namespace

TEST(GenericPlugin, ABlockTakesNoMoreEventsThanThePoolHolds)
{
    TestPlugin plugin;
    EchoingListener echo(plugin);
    plugin.channelReceiver()->addListener(&echo);
    plugin.queueMidiEvent(0, 0x90, 60, 100);
    plugin.process(nullptr, 0, nullptr, 0, 64);
    EXPECT_EQ(echo.heard, GenericPlugin::eventCapacity);
    EXPECT_EQ(plugin.getGraph().getPosition(), 64u); // the block itself still ran
    plugin.process(nullptr, 0, nullptr, 0, 64);
    EXPECT_EQ(echo.heard, 2 * GenericPlugin::eventCapacity);
    plugin.channelReceiver()->removeListener(&echo);
}

TEST(GenericPlugin, SideChainReadsTheMainInputWhenTheHostHasNone)
{
    TestPlugin plugin(2, true);
    Buffers in(4, 8);
    plugin.setSideChainPresent(false);
    plugin.setInputs(in.pointers.data(), 4, 8);
    EXPECT_EQ(plugin.channel(0).getSideChainInput().getBuffer(), in.pointers[0]);
    EXPECT_EQ(plugin.channel(1).getSideChainInput().getBuffer(), in.pointers[1]);
    plugin.setSideChainPresent(true);
    plugin.setInputs(in.pointers.data(), 4, 8);
    EXPECT_EQ(plugin.channel(0).getSideChainInput().getBuffer(), in.pointers[2]);
    EXPECT_EQ(plugin.channel(1).getSideChainInput().getBuffer(), in.pointers[3]);
    // A side chain announced but not delivered: the main signal stands in.
    plugin.setInputs(in.pointers.data(), 2, 8);
    EXPECT_EQ(plugin.channel(1).getSideChainInput().getBuffer(), in.pointers[1]);
    EXPECT_EQ(plugin.channel(1).getInput().getSamplesLeft(), 8);
}

TEST(GenericPlugin, MidiReachesVirtualAndFlatParameters)
{
    TestPlugin plugin;
    MidiMultiVirtualPluginParameter link(plugin, "Link");
    EXPECT_EQ(link.getIndex(), 0x100000);
    link.addLinked(&plugin.parameter(0));
    link.addLinked(&plugin.parameter(1));
    plugin.parameter(0).setValue(0.2f, 0);
    plugin.parameter(1).setValue(0.6f, 0);
    plugin.getPresetState().setModified(false);

    plugin.setParameterByMidi(1048576, 0.9f);
    EXPECT_FLOAT_EQ(plugin.parameter(0).getValue(), 0.7f);
    EXPECT_FLOAT_EQ(plugin.parameter(1).getValue(), 1.0f);
    EXPECT_TRUE(plugin.getPresetState().isModified());
    // The spacing comes back once the group moves away from the end.
    plugin.setParameterByMidi(1048576, 0.4f);
    EXPECT_FLOAT_EQ(plugin.parameter(0).getValue(), 0.2f);
    EXPECT_FLOAT_EQ(plugin.parameter(1).getValue(), 0.6f);
    // A parameter moved on its own since makes the present spacing the new one.
    plugin.parameter(1).setValue(0.3f, 0);
    plugin.setParameterByMidi(1048576, 0.5f);
    EXPECT_NEAR(plugin.parameter(0).getValue(), 0.45f, 1e-6f);
    EXPECT_NEAR(plugin.parameter(1).getValue(), 0.55f, 1e-6f);

    plugin.setParameterByMidi(1048577, 0.1f); // no such virtual parameter
    plugin.setParameterByMidi(500, 0.1f);     // no such parameter
    plugin.setParameterByMidi(3, 0.25f);
    EXPECT_FLOAT_EQ(plugin.parameter(3).getValue(), 0.25f);
}

namespace {
// Stays inside its call until told to leave.
struct SlowListener final : GenericPlugin::Listener {
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    void changed(unsigned, int) override
    {
        inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        finished = true;
    }
};
} // namespace

TEST(GenericPlugin, SetListenerWaitsUntilTheOldListenerIsNoLongerInUse)
{
    TestPlugin plugin;
    SlowListener slow;
    plugin.setListener(&slow);
    std::thread editor([&] { plugin.parameter(0).setValue(0.9f, 0); });
    while (!slow.inside)
        std::this_thread::yield();
    plugin.setListener(nullptr);
    EXPECT_TRUE(slow.finished);
    editor.join();
}

namespace {
// Notes whether the thread flushed denormals while the graph ran.
struct FlushProbe final : wave::Filter {
    explicit FlushProbe(wave::Graph& g) : wave::Filter(g) {}
    void processBlock(const wave::Block*, wave::Block& out, int n, int) override
    {
        sawFlush = ScopedDenormalFlush::isActive();
        out.fill(0.0f, 0, n);
    }
    bool sawFlush = false;
};
} // namespace

TEST(GenericPlugin, ProcessFlushesDenormalsAndRestoresTheCallersMode)
{
    TestPlugin plugin;
    FlushProbe probe(plugin.getGraph());
    plugin.channel(0).setOutput(&probe);
    const bool before = ScopedDenormalFlush::isActive();
    float out[64];
    float* outs[1] = {out};
    plugin.process(nullptr, 0, outs, 1, 64);
    EXPECT_EQ(ScopedDenormalFlush::isActive(), before);
#if OSTRAND_HAS_MXCSR
    EXPECT_TRUE(probe.sawFlush);
#endif
    plugin.channel(0).setOutput(&plugin.channel(0).node);
}

// Once a plug-in exists, no thread allocates to change a parameter, queue a
// MIDI event or close a batch, however many changes pile up unprocessed;
// and the audio thread allocates nothing to apply them and the events, nor
// does the thread that delivers the audio thread's notifications.
TEST(GenericPlugin, NeitherChangesNorProcessAllocateOnAnyThread)
{
    if (!testsupport::allocationCountingAvailable())
        GTEST_SKIP() << "sanitizer build";
    TestPlugin plugin(64);
    CountingListener listener;
    plugin.setListener(&listener);
    MidiControllerMap* map = GenericPlugin::getSharedControllerMap();
    map->assign(10, 3);
    const int n = 2500;
    Buffers in(2, n), out(2, n);
    std::size_t audioAllocations = 0;
    std::size_t controlAllocations = 0;
    for (int round = 0; round < 20; ++round) {
        std::thread control([&] {
            testsupport::AllocationScope scope;
            for (int repeat = 0; repeat < 50; ++repeat) {
                GenericPlugin::Batch batch(plugin);
                for (int i = 0; i < 64; ++i)
                    plugin.parameter(i).setValue(static_cast<float>((i + round + repeat) % 10) / 10.0f, 1);
                plugin.receiveMidi->setValue(0.0f, 0);
            }
            for (int e = 0; e < 12; ++e)
                plugin.queueMidiEvent(e * 200, 0x90 + (e & 1), 40 + e, 1 + e);
            plugin.queueMidiEvent(1000, 0xB0, 10, round); // learned: moves P3 from the audio thread
            plugin.queueMidiEvent(1200, 0xE0, 0, 64);
            plugin.queueMidiEvent(1300, 0xD0, 90, 0); // pressure and the wheel, which no listener takes
            plugin.queueMidiEvent(1300, 0xA0, 60, 90);
            plugin.queueMidiEvent(1400, 0xB0, 1, 64);
            if (round == 19) // far more events than fit: the rest are refused
                while (plugin.queueMidiEvent(5, 0xB0, 10, 1)) {
                }
            plugin.deliverPendingNotifications();
            controlAllocations += scope.count();
        });
        control.join();
        testsupport::AllocationScope scope;
        plugin.process(in.pointers.data(), 2, out.pointers.data(), 2, n);
        audioAllocations += scope.count();
    }
    EXPECT_EQ(controlAllocations, 0u);
    EXPECT_EQ(audioAllocations, 0u);
    EXPECT_FLOAT_EQ(plugin.applied(63), static_cast<float>((63 + 19 + 49) % 10) / 10.0f);
    // The learned controller's last move of the last block reached the DSP
    // in that block, not in the next.
    EXPECT_FLOAT_EQ(plugin.applied(3), 1.0f / 127.0f);
    plugin.setListener(nullptr);
    map->clearAll();
}
