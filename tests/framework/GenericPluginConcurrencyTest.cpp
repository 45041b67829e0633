#include "TestPlugin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

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
