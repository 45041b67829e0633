#include "AllocationCounter.h"
#include "TestPlugin.h"
#include "framework/AbstractMusicEventReceiver.h"
#include "framework/LockFreeQueue.h"
#include "framework/MidiControllerMap.h"
#include "framework/MidiDecoder.h"
#include "framework/MidiMultiVirtualPluginParameter.h"
#include "framework/ParameterChangeQueue.h"
#include "framework/ScopedDenormalFlush.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
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

namespace {

// Writes the calls that tell which slot heard what. (How each message is
// scaled is seen through the MIDI sources' tests, which feed raw messages.)
struct Log final : MidiListener {
    std::vector<std::string> calls;
    void controlChange(int c, int raw, float) override
    {
        calls.push_back("cc " + std::to_string(c) + " " + std::to_string(raw));
    }
    void noteOff(int n, float) override { calls.push_back("off " + std::to_string(n)); }
    void noteOn(int n, float) override { calls.push_back("on " + std::to_string(n)); }
};

struct Receiver final : AbstractChannelEventReceiver {
    Receiver(MidiControllerMap* map, std::string name)
        : AbstractChannelEventReceiver(nullptr, map), tag(std::move(name))
    {
    }
    void rawMessage(int s, int, int) override { raw.push_back(s); }
    void programChange(int bank, int program) override { programs.push_back({bank, program}); }
    void setParameterByMidi(int index, float v) override { learned.push_back({index, v}); }
    std::string tag;
    std::vector<int> raw;
    std::vector<std::pair<int, int>> programs;
    std::vector<std::pair<int, float>> learned;
};

struct Routing final : AbstractMusicEventReceiver {
    explicit Routing(MidiControllerMap* map) : AbstractMusicEventReceiver(map) {}
    void setMidiLearnTarget(int id) override { slots[0].get()->setLearnTarget(id); }
    void install(int slot, AbstractChannelEventReceiver* r) { slots[static_cast<std::size_t>(slot)].set(r); }
};

struct Reset final : MidiSystemListener {
    int count = 0;
    void systemReset() override { ++count; }
};

} // namespace

TEST(MidiDecoder, DecodesChannelMessagesForTheAllChannelsSlotAndTheChannel)
{
    MidiControllerMap map;
    Routing routing(&map);
    Receiver all(&map, "all"), third(&map, "ch3");
    Log allLog, thirdLog;
    all.addListener(&allLog);
    third.addListener(&thirdLog);
    routing.install(0, &all);
    routing.install(3, &third);
    MidiDecoder decoder(&routing);
    Reset reset;
    decoder.setSystemListener(&reset);

    decoder.receive(0x92, 60, 127); // note on, channel 3
    decoder.receive(0x92, 60, 0);   // velocity 0: note off
    decoder.receive(0x80, 61, 64);  // channel 1: only the all-channels slot
    decoder.receive(0xB2, 123, 0);  // all notes off
    decoder.receive(0xFF, 0, 0);
    decoder.receive(0xF8, 0, 0); // clock: ignored

    EXPECT_EQ(thirdLog.calls, (std::vector<std::string>{"on 60", "off 60", "off 0"}));
    EXPECT_EQ(allLog.calls, (std::vector<std::string>{"on 60", "off 60", "off 61", "off 0"}));
    EXPECT_EQ(all.raw.size(), 6u); // every message reaches slot 0 raw, system ones too
    EXPECT_TRUE(third.raw.empty());
    EXPECT_EQ(reset.count, 1);
}

TEST(MidiDecoder, BankSelectIsKeptPerSlotAndNeitherItNorControllerOneTwentySevenIsLearned)
{
    MidiControllerMap map;
    Routing routing(&map);
    Receiver all(&map, "all"), first(&map, "ch1"), second(&map, "ch2");
    routing.install(0, &all);
    routing.install(1, &first);
    routing.install(2, &second);
    MidiDecoder decoder(&routing);
    decoder.receive(0xB0, 0, 1);
    decoder.receive(0xB0, 32, 5);
    decoder.receive(0xC0, 9, 0);
    decoder.receive(0xC1, 3, 0);
    ASSERT_EQ(first.programs.size(), 1u);
    EXPECT_EQ(first.programs[0], (std::pair<int, int>{133, 9}));
    EXPECT_EQ(second.programs[0], (std::pair<int, int>{0, 3}));
    EXPECT_EQ(all.programs[1], (std::pair<int, int>{133, 3}));
    EXPECT_EQ(decoder.getBank(1), 133);
    decoder.receive(0xB0, 0, 2); // a new MSB keeps the LSB
    EXPECT_EQ(decoder.getBank(1), 261);

    // Bank select and all notes off are the decoder's: they learn nothing
    // and the target waits for the next controller. Controller 127 has no
    // entry in the map, so it cannot be learned and only reaches listeners.
    Log log;
    all.addListener(&log);
    routing.setMidiLearnTarget(43);
    for (int consumed : {0, 32, 123, 20})
        decoder.receive(0xB0, consumed, 10);
    EXPECT_EQ(map.get(20), 43);
    routing.setMidiLearnTarget(44);
    decoder.receive(0xB0, 127, 10);
    EXPECT_EQ(map.findController(44), -1);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"off 0", "cc 20 10", "cc 127 10"}));
}

namespace {
struct Item {
    int producer;
    int sequence;
};
} // namespace

TEST(LockFreeQueue, KeepsOrderReusesItsNodesAndRefusesWhenFull)
{
    LockFreeQueue<Item> queue(300);
    Item item{};
    EXPECT_FALSE(queue.pop(item));
    // Many rounds through the same nodes: order stays first in, first out.
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 300; ++i)
            ASSERT_TRUE(queue.push({0, round * 1000 + i}));
        EXPECT_FALSE(queue.push({0, -1}));
        for (int i = 0; i < 300; ++i) {
            ASSERT_TRUE(queue.pop(item));
            ASSERT_EQ(item.sequence, round * 1000 + i);
        }
        EXPECT_FALSE(queue.hasPending());
    }
    EXPECT_EQ(queue.getCapacity(), 300);
    EXPECT_EQ(queue.getFreeCount(), 300);
}

TEST(ParameterChangeQueue, EachChangedIndexOnceInTheOrderOfFirstChanges)
{
    ParameterChangeQueue queue;
    queue.prepare(10);
    std::vector<int> applied;
    auto apply = [&](int index) { applied.push_back(index); };
    for (int round = 0; round < 3; ++round) // the ring laps many times over
        for (int i : {7, 2, 7, 9, 2, 2, 0, 12, -1})
            queue.push(i); // 12 and -1 name no parameter
    queue.drain(apply);
    EXPECT_EQ(applied, (std::vector<int>{7, 2, 9, 0}));
    for (int lap = 0; lap < 100; ++lap) {
        applied.clear();
        for (int i = 9; i >= 0; --i)
            queue.push(i);
        queue.drain(apply);
        ASSERT_EQ(applied.size(), 10u);
        ASSERT_EQ(applied.front(), 9);
    }
    EXPECT_FALSE(queue.hasPending());

    // A change made while its index is applied is not lost: it waits for
    // the next drain, and a drain takes no more than one lap of indices.
    int rounds = 0;
    queue.push(4);
    queue.drain([&](int index) {
        ++rounds;
        queue.push(index);
    });
    EXPECT_EQ(rounds, 10);
    EXPECT_TRUE(queue.hasPending());
    applied.clear();
    queue.drain(apply);
    EXPECT_EQ(applied, std::vector<int>{4});

    // Flags raised before the queue was prepared for more parameters stay.
    queue.push(3);
    queue.prepare(40);
    queue.push(30);
    applied.clear();
    queue.drain(apply);
    EXPECT_EQ(applied, (std::vector<int>{3, 30}));
}
