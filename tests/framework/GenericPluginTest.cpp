#include "AllocationCounter.h"
#include "TestPlugin.h"
#include "framework/AbstractMusicEventReceiver.h"
#include "framework/Activatable.h"
#include "framework/CompareStates.h"
#include "framework/LockFreeQueue.h"
#include "framework/MidiControllerMap.h"
#include "framework/MidiDecoder.h"
#include "framework/MidiMultiVirtualPluginParameter.h"
#include "framework/ParameterChangeQueue.h"
#include "framework/PluginStorage.h"
#include "framework/ProgramTable.h"
#include "framework/ScopedDenormalFlush.h"
#include "framework/SourceParameterSetList.h"
#include "framework/StateRecord.h"
#include "framework/TargetParameterSetList.h"
#include "framework/UndoHistory.h"
#include "wave/Source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

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

namespace {
void setAll(TestPlugin& p, float v)
{
    for (int i = 0; i < 4; ++i)
        p.parameter(i).setValue(v, 0);
}
} // namespace

TEST(UndoHistory, UndoRedoWalkTheSnapshotsAndAPushDropsTheRedoSteps)
{
    TestPlugin plugin(4);
    auto& history = *plugin.getUndoHistory();
    history.updateCurrent(); // nothing to update before the first snapshot
    EXPECT_FALSE(history.canUndo());
    history.pushInitial();
    EXPECT_EQ(history.current().name, "Initial state");
    history.pushInitial(); // only into a fresh history
    EXPECT_EQ(history.getPosition(), 1);
    EXPECT_FALSE(history.canUndo());
    for (int step = 1; step <= 3; ++step) {
        setAll(plugin, 0.1f * static_cast<float>(step));
        history.push("");
    }
    CountingAdapter adapter;
    plugin.setAdapter(&adapter);
    for (int i = 0; i < 4; ++i)
        history.undo();
    EXPECT_EQ(plugin.parameter(2).getValue(), 0.0f);
    EXPECT_EQ(adapter.calls, 3); // one notification per step, for all parameters
    EXPECT_EQ(adapter.allCalls, 3);
    EXPECT_FALSE(history.canUndo());
    EXPECT_TRUE(plugin.getCompareStates()->wasChangedByUndo());
    history.redo();
    EXPECT_FLOAT_EQ(plugin.parameter(2).getValue(), 0.1f);
    EXPECT_EQ(history.getRedoCount(), 2);
    setAll(plugin, 0.9f);
    history.push("");
    EXPECT_FALSE(history.canRedo());
    history.undo();
    EXPECT_FLOAT_EQ(plugin.parameter(0).getValue(), 0.1f);
    plugin.setAdapter(nullptr);
}

TEST(UndoHistory, TheRingKeepsNinetyNineStepsAndPushingAllocatesNothing)
{
    TestPlugin plugin(4);
    auto& history = *plugin.getUndoHistory();
    plugin.getPresetState().setName("A preset name longer than any small buffer");
    std::size_t allocations = 0;
    for (int step = 1; step <= 150; ++step) {
        plugin.parameter(0).setValue(static_cast<float>(step) / 1000.0f, 0);
        testsupport::AllocationScope scope;
        history.push("");
        if (step > 100) // every record has been filled once
            allocations += scope.count();
    }
    if (testsupport::allocationCountingAvailable()) {
        EXPECT_EQ(allocations, 0u);
    }
    EXPECT_EQ(history.getUndoCount(), 99);
    int undone = 0;
    while (history.canUndo()) {
        history.undo();
        ++undone;
    }
    EXPECT_EQ(undone, 99);
    EXPECT_FLOAT_EQ(plugin.parameter(0).getValue(), 51.0f / 1000.0f);
    history.undo();
    EXPECT_FLOAT_EQ(plugin.parameter(0).getValue(), 51.0f / 1000.0f);
}

TEST(UndoHistory, SnapshotsRestorePresetStateAndToleratesShortRecords)
{
    TestPlugin plugin(4);
    CountingListener listener;
    plugin.setListener(&listener);
    setAll(plugin, 0.5f);
    StateRecord record;
    plugin.getPresetState().setPlace("Warm", "/presets/Warm.mvp");
    plugin.getPresetState().setModified(false);
    plugin.saveState(record);
    EXPECT_EQ(record.values.size(), static_cast<std::size_t>(plugin.getParameterCount()));
    EXPECT_FALSE(record.modified.get());

    plugin.getPresetState().setName("Other");
    setAll(plugin, 0.8f);
    record.values.resize(2); // an older, shorter snapshot
    listener.calls = 0;
    plugin.loadState(record);
    EXPECT_EQ(plugin.parameter(1).getValue(), 0.5f);
    EXPECT_EQ(plugin.parameter(2).getValue(), 0.8f);
    EXPECT_EQ(plugin.getPresetState().getName(), "Warm");
    EXPECT_FALSE(plugin.getPresetState().isModified());
    EXPECT_EQ(listener.calls, 2); // the values once, then the preset's name
    EXPECT_EQ(listener.lastMask, GenericPlugin::presetChangedMask);
    plugin.setListener(nullptr);
}

// Presets and programs through the installed storage. (Settings and the
// controller map through the real storage: tests/persistence.)
namespace {

struct MemoryStorage final : PluginStorage {
    bool readPreset(GenericPlugin& p, const std::string&, std::vector<float>& values) override
    {
        values.assign(static_cast<std::size_t>(p.getParameterCount()), 0.0f);
        values[0] = 0.75f;
        return true;
    }
    // Program 0 is "Dark" (P2 at 0.25); program 1 names a file that could
    // not be read; reading the list again gives "Bright" (P2 at 0.5).
    std::shared_ptr<const ProgramTable> programTable(GenericPlugin& p) override
    {
        ++tablesRead;
        auto table = std::make_shared<ProgramTable>();
        ProgramRecord record{programName, "/stored/" + programName + ".mvp",
                             std::vector<float>(static_cast<std::size_t>(p.getParameterCount()), 0.0f)};
        record.values[2] = programName == "Dark" ? 0.25f : 0.5f;
        table->records = {record, ProgramRecord{"Broken", "/stored/Broken.mvp", {}}};
        return table;
    }
    std::string programName = "Dark";
    int tablesRead = 0;
};

} // namespace

TEST(PluginStorage, PresetsAndProgramsGoThroughTheInstalledStorage)
{
    MemoryStorage storage;
    PluginStorage::install(&storage);
    {
        TestPlugin first;
        TestPlugin second;
        EXPECT_EQ(storage.tablesRead, 2);
        CountingAdapter adapter;
        CountingListener listener;
        first.setAdapter(&adapter);
        first.setListener(&listener);
        first.parameter(1).setValue(0.5f, 0);
        EXPECT_TRUE(first.loadPreset("/stored/Bright Pad.mvp"));
        EXPECT_EQ(first.getPresetState().getName(), "Bright Pad");
        EXPECT_EQ(first.getPresetState().getLocation(), "/stored/Bright Pad.mvp");
        EXPECT_FALSE(first.getPresetState().isModified());
        EXPECT_EQ(adapter.presets, 1);
        EXPECT_EQ(listener.lastMask, GenericPlugin::presetChangedMask);
        EXPECT_FALSE(first.savePreset("/x.mvp")); // the storage cannot save

        // A program change from MIDI switches the values on the audio
        // thread; the preset's name and the notices follow off it.
        first.parameter(1).setValue(0.5f, 0);
        EXPECT_FALSE(first.needsControlThread());
        first.queueMidiEvent(3, 0xC0, 0, 0);
        first.queueMidiEvent(5, 0xC0, 1, 0); // unreadable: nothing
        first.queueMidiEvent(6, 0xB0, 0, 1); // bank 128: nothing there
        first.queueMidiEvent(7, 0xC0, 0, 0);
        first.process(nullptr, 0, nullptr, 0, 16);
        EXPECT_EQ(first.parameter(2).getValue(), 0.25f);
        EXPECT_EQ(first.parameter(1).getValue(), 0.0f);
        EXPECT_EQ(first.getPresetState().getName(), "Bright Pad");
        EXPECT_FALSE(first.getPresetState().isModified());
        EXPECT_TRUE(first.getPresetState().modified.get());
        EXPECT_TRUE(first.needsControlThread());
        first.deliverPendingNotifications();
        EXPECT_EQ(first.getPresetState().getName(), "Dark");
        EXPECT_EQ(first.getPresetState().getLocation(), "/stored/Dark.mvp");
        EXPECT_FALSE(first.getPresetState().modified.get());
        EXPECT_EQ(adapter.presets, 2);
        EXPECT_EQ(listener.lastMask, GenericPlugin::presetChangedMask);
        // A new list of presets is read by the next control-thread call.
        storage.programName = "Bright";
        PluginStorage::programListChanged();
        EXPECT_TRUE(first.needsControlThread());
        first.serviceControlThread();
        EXPECT_FALSE(first.needsControlThread());
        first.programChange(0, 0);
        EXPECT_EQ(first.parameter(2).getValue(), 0.5f);
        EXPECT_EQ(first.getPresetState().getName(), "Bright");
        first.setListener(nullptr);
    }
    PluginStorage::install(nullptr);
    // Without storage no preset loads.
    EXPECT_FALSE(TestPlugin().loadPreset("/stored/Bright Pad.mvp"));
}

namespace {

// Two parameters per set: "<name> A" (default 0.1) and "<name> B" (default 0.2).
class TwoValueSet final : public PluginParameterSet {
public:
    TwoValueSet(GenericPlugin& owner, int index)
        : PluginParameterSet(owner), a(this, "Set " + std::to_string(index + 1) + " A"),
          b(this, "Set " + std::to_string(index + 1) + " B")
    {
    }
    void configureParameters() override
    {
        a.setDefault(0.1f);
        b.setDefault(0.2f);
        a.resetToDefault();
        b.resetToDefault();
    }
    FloatPluginParameter a;
    FloatPluginParameter b;
};

class ListPlugin final : public testplugin::TestPlugin {
public:
    ListPlugin() : TestPlugin(1), filters(*this, "Filters", 4, 0, 4), sources(*this, "XLFOs", 4, 10, 20, 1)
    {
        filters.configureSets();
        sources.configureSets();
        filters.setActiveRange(1, 4, 3);
        sources.setActiveRange(0, 4, 3);
    }

    TargetParameterSetList<TwoValueSet> filters;
    SourceParameterSetList<TwoValueSet> sources;
};

void setValues(TwoValueSet& s, float a, float b)
{
    s.a.setValue(a, 0);
    s.b.setValue(b, 0);
}

// The A and B values of all four sets, active or not.
std::vector<float> values(TargetParameterSetList<TwoValueSet>& list)
{
    std::vector<float> v;
    for (int i = 0; i < 4; ++i)
        v.insert(v.end(), {list[i].a.getValue(), list[i].b.getValue()});
    return v;
}

} // namespace

// What removing does to the modulation slots is checked with the real
// matrix (ModulationMatrixPluginTest), inserting and removing through the
// editor's step and filter commands; here the values and the batch.
TEST(ParameterSetList, SectionOrderAndRemovingASetMovesTheValuesInOneBatch)
{
    ListPlugin plugin;
    // A section preset holds the count, then every set in order: files of
    // earlier versions depend on it.
    plugin.addComponentKind(0, 1);
    plugin.addToComponent(0, 0, plugin.filters);
    const auto& component = plugin.getComponentParameters(0, 0);
    ASSERT_EQ(component.size(), 9u);
    EXPECT_EQ(component[0], &plugin.filters.getNumActiveParameter());
    EXPECT_EQ(component[3], &plugin.filters[1].a);
    testplugin::CountingAdapter adapter;
    plugin.setAdapter(&adapter);
    setValues(plugin.filters[0], 0.3f, 0.6f);
    setValues(plugin.filters[1], 0.4f, 0.7f);
    setValues(plugin.filters[2], 0.5f, 0.8f);
    adapter.calls = 0;

    plugin.filters.removeSet(1);
    EXPECT_EQ(plugin.filters.getNumActive(), 2);
    // The set that fell off the end is back to its defaults.
    EXPECT_EQ(values(plugin.filters), (std::vector<float>{0.3f, 0.6f, 0.5f, 0.8f, 0.1f, 0.2f, 0.1f, 0.2f}));
    EXPECT_EQ(adapter.calls, 1);
    EXPECT_EQ(adapter.lastIndex, -1);

    // Beyond the active sets, or at the minimum: nothing at all.
    plugin.filters.removeSet(2);
    plugin.filters.removeSet(0);
    adapter.calls = 0;
    plugin.filters.removeSet(0);
    EXPECT_EQ(plugin.filters.getNumActive(), 1);
    EXPECT_EQ(adapter.calls, 0);
    plugin.setAdapter(nullptr);

    // A source list may go down to none.
    for (int i = 0; i < 4; ++i)
        plugin.sources.removeSet(0);
    EXPECT_EQ(plugin.sources.getNumActive(), 0);
}

namespace {
struct Counter final : wave::Source {
    using wave::Source::Source;
    int process(wave::Block& b, int n, int) override
    {
        ++runs;
        b.fill(0.0f, 0, n);
        return n;
    }
    int runs = 0;
};
} // namespace

TEST(ParameterSetList, GraphNodesFollowTheActiveCountOnTheAudioThread)
{
    ListPlugin plugin;
    wave::Graph& graph = plugin.getGraph();
    std::vector<std::unique_ptr<Counter>> nodes;
    std::vector<std::unique_ptr<Activatable>> elements;
    std::vector<Activatable*> group;
    for (int i = 0; i < 4; ++i) {
        nodes.push_back(std::make_unique<Counter>(graph));
        elements.push_back(std::make_unique<Activatable>(*nodes.back(), true, true));
        group.push_back(elements.back().get());
    }
    plugin.filters.registerActivatables(group);
    // Nodes that put themselves in the reset list when built, with elements
    // that manage only their run-list place: they stay resettable throughout.
    std::vector<std::unique_ptr<Counter>> resettable;
    std::vector<Activatable*> runOnly;
    for (int i = 0; i < 4; ++i) {
        resettable.push_back(std::make_unique<Counter>(graph));
        graph.addToResetList(*resettable.back());
        elements.push_back(
            std::make_unique<Activatable>(*resettable.back(), true, false));
        runOnly.push_back(elements.back().get());
    }
    plugin.filters.registerActivatables(runOnly);
    plugin.applyAllParameters(); // three filters active
    EXPECT_TRUE(elements[2]->isLive());
    EXPECT_FALSE(elements[3]->isLive());
    EXPECT_EQ(graph.getResetList().size(), 3u + 4u);
    EXPECT_TRUE(resettable[3]->isInResetList());
    EXPECT_FALSE(resettable[3]->isInRunList());

    plugin.filters.removeSet(0);
    EXPECT_TRUE(elements[2]->isLive()); // not before the next block
    plugin.process(nullptr, 0, nullptr, 0, 64);
    EXPECT_FALSE(elements[2]->isLive());
    EXPECT_FALSE(nodes[2]->isActive());
    EXPECT_EQ(nodes[2]->runs, 0);
    EXPECT_EQ(nodes[1]->runs, 1);
    EXPECT_EQ(graph.getResetList().size(), 2u + 4u);
    EXPECT_FALSE(resettable[2]->isInRunList());
    auto runList = graph.getRunList();
    EXPECT_EQ(std::count(runList.begin(), runList.end(), nodes[2].get()), 0);
    plugin.filters.insertSet(1);
    plugin.process(nullptr, 0, nullptr, 0, 64);
    EXPECT_EQ(nodes[2]->runs, 1);
    // Elements are torn down before their nodes.
    elements.clear();
}
