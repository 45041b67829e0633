#include "TestPlugin.h"
#include "framework/LockFreeQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace testplugin;

// Control threads set their own parameters as fast as they can while the
// audio thread processes; MIDI events and a learned controller arrive too.
// At the end every parameter's last value must have reached the DSP side.
TEST(GenericPluginConcurrency, NoChangeIsLostWhileProcessRuns)
{
    constexpr int threads = 4;
    constexpr int perThread = 16;
    constexpr int rounds = 10000;
    TestPlugin plugin(threads * perThread);
    CountingAdapter adapter;
    plugin.setAdapter(&adapter);

    std::atomic<int> running{threads};
    std::vector<std::thread> control;
    for (int t = 0; t < threads; ++t)
        control.emplace_back([&, t] {
            for (int r = 1; r <= rounds; ++r) {
                for (int j = 0; j < perThread; ++j) {
                    const int index = t * perThread + j;
                    plugin.parameter(index).setValue(static_cast<float>((r * 7 + index) % 1000) / 1000.0f,
                                                     t & 1);
                }
                if (r % 50 == 0)
                    plugin.queueMidiEvent(r % 256, 0x90, 60, 100);
                if (r % 500 == 0) {
                    GenericPlugin::Batch batch(plugin);
                    plugin.parameter(t * perThread).setValue(0.5f, 0);
                    plugin.parameter(t * perThread)
                        .setValue(static_cast<float>((r * 7 + t * perThread) % 1000) / 1000.0f, 0);
                }
            }
            --running;
        });

    std::vector<float> in(256, 0.25f), out(256);
    const float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {out.data(), out.data()};
    while (running > 0)
        plugin.process(inputs, 2, outputs, 2, 256);
    for (auto& t : control)
        t.join();
    plugin.process(inputs, 2, outputs, 2, 256);

    for (int index = 0; index < threads * perThread; ++index) {
        const float last = static_cast<float>((rounds * 7 + index) % 1000) / 1000.0f;
        ASSERT_EQ(plugin.parameter(index).getValue(), last) << index;
        ASSERT_EQ(plugin.applied(index), last) << index;
    }
    EXPECT_EQ(plugin.notes->count, 64u); // the recorder keeps the first 64
    EXPECT_EQ(plugin.getBatchDepth(), 0);
    EXPECT_GT(adapter.calls, 0);
    plugin.setAdapter(nullptr);
}

namespace {
// Lets a writer stop right after a parameter stored its value and before
// the plug-in hears of it, until another writer's whole change went by:
// the interleaving in which the last value stored and the last change
// announced belong to different writers. Adds an enumeration of three
// positions bound to a property.
class InterleavingPlugin final : public TestPlugin {
public:
    InterleavingPlugin() : TestPlugin(1), choice(this, "Choice")
    {
        choice.setRange(0, 2);
        choice.bindProperty(appliedChoice);
        applyAllParameters();
    }
    void parameterChanged(int index, float value, int flag) override
    {
        if (holdHere) {
            holdHere = false;
            held = true;
            while (!overtaken)
                std::this_thread::yield();
        }
        TestPlugin::parameterChanged(index, value, flag);
    }
    static inline thread_local bool holdHere = false;
    std::atomic<bool> held{false};
    std::atomic<bool> overtaken{false};
    PropPluginParameter<int> choice;
    Property<int> appliedChoice;
};
} // namespace

// Two threads set the same parameter 100,000 times each while the audio
// thread processes, and their last writes overtake each other as above.
// Once they are done, one more block must leave the DSP side on exactly the
// value the parameter holds. Then the same for an enumeration.
TEST(GenericPluginConcurrency, TwoWritersOfOneParameterLeaveTheAudioOnItsValue)
{
    constexpr int writes = 100000;
    InterleavingPlugin plugin;
    // set(k) for k < writes are the racing writes; set(writes) and
    // set(writes + 1) the last ones, values no other write uses.
    auto race = [&](auto&& set) {
        plugin.held = false;
        plugin.overtaken = false;
        std::atomic<int> done{0};
        std::thread first([&] {
            for (int k = 0; k < writes; k += 2)
                set(k);
            InterleavingPlugin::holdHere = true;
            set(writes);
            ++done;
        });
        std::thread second([&] {
            for (int k = 1; k < writes; k += 2)
                set(k);
            for (int wait = 0; !plugin.held && wait < 10000; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            set(writes + 1);
            plugin.overtaken = true;
            ++done;
        });
        while (done < 2)
            plugin.process(nullptr, 0, nullptr, 0, 64);
        first.join();
        second.join();
        plugin.process(nullptr, 0, nullptr, 0, 64);
        EXPECT_TRUE(plugin.held);
    };
    race([&](int k) {
        plugin.parameter(0).setValue(k < writes ? static_cast<float>(k % 500) / 1000.0f : 0.25f * (k - writes + 3), 0);
    });
    EXPECT_EQ(plugin.applied(0), plugin.parameter(0).getValue());
    race([&](int k) { plugin.choice.setValue(k < writes ? static_cast<float>(k & 1) : static_cast<float>(2 - (k - writes) * 2), 0); });
    EXPECT_EQ(plugin.appliedChoice.get(), static_cast<int>(plugin.choice.getValue()));
}

namespace {
struct Item {
    int producer;
    int sequence;
};
} // namespace

// Several producers, one consumer: nothing lost, nothing doubled, and each
// producer's items arrive in its own order.
TEST(LockFreeQueueConcurrency, ManyProducersOneConsumer)
{
    constexpr int producers = 4;
    constexpr int perProducer = 50000;
    LockFreeQueue<Item> queue(256);
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p)
        threads.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i)
                while (!queue.push({p, i}))
                    std::this_thread::yield();
        });
    std::vector<int> next(producers, 0);
    int received = 0;
    Item item{};
    while (received < producers * perProducer) {
        if (!queue.pop(item)) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(item.sequence, next[static_cast<std::size_t>(item.producer)]);
        ++next[static_cast<std::size_t>(item.producer)];
        ++received;
    }
    for (auto& t : threads)
        t.join();
    EXPECT_FALSE(queue.pop(item));
    EXPECT_EQ(queue.getFreeCount(), queue.getCapacity());
}
