// The plug-in among the threads of a real host, for ThreadSanitizer (./dev
// torture, ./dev tsan) as much as for the checks written here: instances of
// both plug-ins made, run and destroyed on several threads at once (what all
// share is built by a first and released by a last, over and over); and one
// instance playing on an audio thread while an editor thread moves
// parameters, loads and saves presets, undoes, switches A/B and writes ports
// through the host, and the host's worker announces program changes.
#include "TortureSupport.h"
#include "framework/CompareStates.h"
#include "framework/MidiControllerMap.h"
#include "framework/UndoHistory.h"
#include "host/lv2/Lv2EffectGroup.h"
#include "host/lv2/Lv2PluginDescriptors.h"
#include "host/lv2/Lv2PluginGroup.h"
#include "persistence/PresetLibrary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace torture;

TEST(ThreadTorture, InstancesMadeRunAndDestroyedOnManyThreadsAtOnce)
{
    const Cases c = cases(3, 40);
    const Lv2PluginGroup& group = effectPluginGroup();
    const Lv2PluginDescriptors descriptors(group);
    lv2test::Host host(Hosted::maxBlock); // its map and options; lilv stays on this thread
    std::atomic<int> failures{0}, instances{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            Random r(c.firstSeed * 16u + static_cast<std::uint32_t>(t));
            for (int round = 0; round < c.count; ++round) {
                const auto type = static_cast<std::uint32_t>(r.integer(0, 1));
                Hosted h(*descriptors.get(type), group.getTypes()[type].ports, r.sampleRate(), host);
                if (!h.ok()) {
                    ++failures;
                    continue;
                }
                for (int b = r.integer(1, 5); b > 0; --b) {
                    for (int k = r.integer(0, 20); k > 0; --k) {
                        const auto p = static_cast<std::size_t>(r.integer(0, h.ports.parameters - 1));
                        h.controls[p] = static_cast<float>(r.uniform(-1.0, 2.0)) * h.controls[p] + 0.5f;
                    }
                    if (!h.run(r, r.integer(1, 2048), randomInput(r)))
                        ++failures;
                }
                ++instances;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(instances.load(), 4 * c.count);
    // The last instance of this program released what they all shared.
    EXPECT_EQ(GenericPlugin::getInstanceCount(), 0);
    EXPECT_EQ(GenericPlugin::getSharedControllerMap(), nullptr);
}

TEST(ThreadTorture, EditorAndWorkerTrafficWhileTheAudioThreadPlays)
{
    const Cases c = cases(1, 20);
    const Lv2PluginGroup& group = effectPluginGroup();
    const Lv2PluginDescriptors descriptors(group);
    // The editor saves and loads a preset of its own; program changes find
    // the factory presets the first instance installed.
    const std::string folder = PresetLibrary::shared().getPath();
    std::filesystem::create_directories(folder);

    for (std::uint32_t seed = c.firstSeed; seed < c.firstSeed + static_cast<std::uint32_t>(c.count); ++seed) {
        lv2test::Host host(Hosted::maxBlock);
        Random audioRandom(seed), editorRandom(seed + 1000);
        const int type = audioRandom.integer(0, 1);
        Hosted h(*descriptors.get(static_cast<std::uint32_t>(type)), group.getTypes()[static_cast<std::size_t>(type)].ports,
                 audioRandom.sampleRate(), host);
        ASSERT_TRUE(h.ok());
        auto& plugin = static_cast<OstrandPlugin&>(h.adapter().getPlugin());

        // Port writes of the host's generic controls travel to the audio
        // thread through the host, which applies them before a run.
        std::mutex portMutex;
        std::vector<std::pair<int, float>> portWrites;

        // The host's worker: a thread of its own that runs what run asks for.
        std::atomic<bool> done{false};
        std::thread worker([&] {
            const auto* work = h.extension<LV2_Worker_Interface>(LV2_WORKER__interface);
            while (!done.load()) {
                for (int k = host.takeWorkRequests(); k > 0; --k)
                    work->work(h.handle, nullptr, nullptr, 1, "");
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });

        std::thread editor([&] {
            Random& r = editorRandom;
            GenericPlugin::UndoHistory& undo = *plugin.getUndoHistory();
            GenericPlugin::CompareStates& ab = *plugin.getCompareStates();
            ab.initialize();
            undo.pushInitial();
            while (!done.load()) {
                const double x = r.uniform();
                if (x < 0.5) {
                    // A knob drag: a gesture, a few values, an undo point.
                    AbstractPluginParameter& p = *plugin.getParameter(r.integer(0, plugin.getParameterCount() - 1));
                    plugin.beginEdit(p.getIndex());
                    for (int k = r.integer(1, 5); k > 0; --k)
                        p.setValue(randomValue(r, p), 0);
                    plugin.endEdit(p.getIndex());
                    undo.push("edit");
                } else if (x < 0.6) {
                    plugin.loadPreset(folder + "Thread.mvp");
                    undo.push("preset");
                } else if (x < 0.63) {
                    plugin.savePreset(folder + "Thread.mvp");
                } else if (x < 0.73) {
                    r.chance(0.7) ? undo.undo() : undo.redo();
                } else if (x < 0.76) {
                    ab.toggle();
                } else if (x < 0.86) {
                    std::lock_guard<std::mutex> lock(portMutex);
                    for (int k = r.integer(1, 8); k > 0; --k) {
                        const int i = r.integer(0, h.ports.parameters - 1);
                        portWrites.emplace_back(i, randomValue(r, *plugin.getParameter(i)));
                    }
                } else if (x < 0.9) {
                    // MIDI learn: the next controller moves this parameter.
                    plugin.getEventReceiver()->setMidiLearnTarget(r.integer(0, plugin.getParameterCount() - 1));
                } else {
                    // The editor's timer: what changed, and the meters.
                    h.adapter().takeChangedParameters([](int) {});
                    for (int s = 0; s < 26; ++s)
                        (void)plugin.getSourceLevel(s);
                }
                std::this_thread::yield();
            }
        });

        // The audio thread (this one).
        Random& r = audioRandom;
        int bad = 0;
        const int blocks = c.longForm ? 4000 : 300;
        for (int b = 0; b < blocks; ++b) {
            {
                std::unique_lock<std::mutex> lock(portMutex, std::try_to_lock);
                if (lock.owns_lock()) {
                    for (const auto& [i, v] : portWrites)
                        h.controls[static_cast<std::size_t>(i)] = v;
                    portWrites.clear();
                }
            }
            if (r.chance(0.05))
                h.enabled = r.chance(0.8) ? 1.0f : 0.0f;
            for (int k = r.integer(0, 6); k > 0; --k) {
                static const int statuses[] = {0x80, 0x90, 0xB0, 0xB0, 0xC0, 0xE0};
                h.events.midi(k * 7, static_cast<std::uint8_t>(statuses[r.integer(0, 5)]),
                              static_cast<std::uint8_t>(r.integer(0, 127)), static_cast<std::uint8_t>(r.integer(0, 127)));
            }
            const int n = r.chance(0.9) ? r.integer(1, 1024) : r.blockLength();
            const Input input = r.chance(0.9) ? Input::noise : randomInput(r);
            // Bad input may pass while the bypass fades or is on.
            bad += h.run(r, n, input) || input == Input::nonFinite ? 0 : 1;
        }
        done = true;
        editor.join();
        worker.join();
        EXPECT_EQ(bad, 0) << "case " << seed;
    }
}
