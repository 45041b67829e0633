// The plug-in among the threads of a real host, for ThreadSanitizer (./dev
// torture, ./dev tsan) as much as for the checks written here:
//
// - many instances of both LV2 plug-ins, and of the effect itself, created,
//   run and destroyed on several threads at once, so the objects all
//   instances share are built by a first instance and released by a last
//   one over and over while other threads build and run theirs;
// - one instance playing on an audio thread while an editor thread moves
//   parameters with undo points, loads and saves presets, undoes, switches
//   A/B and writes ports through the host, and the host's worker thread
//   loads the presets MIDI program changes ask for.
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
#include <dlfcn.h>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace torture;

namespace {

// The module as a host loads it.
struct Module {
    Module()
    {
        library = dlopen(OSTRAND_LV2_BUNDLE "/ostrand.so", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return;
        auto entry = reinterpret_cast<const LV2_Descriptor* (*)(std::uint32_t)>(dlsym(library, "lv2_descriptor"));
        for (std::uint32_t i = 0; entry && entry(i); ++i)
            descriptors.push_back(entry(i));
    }
    ~Module()
    {
        if (library)
            dlclose(library);
    }
    void* library = nullptr;
    std::vector<const LV2_Descriptor*> descriptors;
};

} // namespace

TEST(ThreadTorture, InstancesMadeRunAndDestroyedOnManyThreadsAtOnce)
{
    const Cases c = cases(3, 40);
    Module module;
    ASSERT_EQ(module.descriptors.size(), 2u) << dlerror();
    const Lv2PluginGroup& group = effectPluginGroup();
    lv2test::Host host(Hosted::maxBlock); // its map and options; lilv stays on this thread
    std::atomic<int> failures{0}, instances{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            Random r(c.firstSeed * 16u + static_cast<std::uint32_t>(t));
            for (int round = 0; round < c.count; ++round) {
                const int type = r.integer(0, 1);
                const double rate = r.sampleRate();
                if (r.chance(0.25)) {
                    // The effect itself, as the renderer and tests build it.
                    OstrandPlugin plugin(type == 0 ? 2 : 1, static_cast<float>(rate));
                    std::vector<float> in(2048), out(2048);
                    const float* inputs[2] = {in.data(), in.data()};
                    float* outputs[2] = {out.data(), out.data()};
                    randomizeParameters(plugin, r);
                    const int n = r.integer(1, 2048);
                    plugin.process(inputs, 2, outputs, 1, n);
                    failures += allFinite(out.data(), n) ? 0 : 1;
                } else {
                    Hosted h(*module.descriptors[static_cast<std::size_t>(type)],
                             group.getTypes()[static_cast<std::size_t>(type)].ports, rate, host);
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
    const std::string folder = PresetLibrary::shared().getPath();
    std::filesystem::create_directories(folder);
    // A few presets for the editor and for program changes to load.
    {
        OstrandPlugin p;
        Random r(5);
        for (int i = 0; i < 4; ++i) {
            randomizeParameters(p, r);
            ASSERT_TRUE(p.savePreset(folder + "Thread " + std::to_string(i) + ".mvp"));
        }
    }

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
                    plugin.loadPreset(folder + "Thread " + std::to_string(r.integer(0, 3)) + ".mvp");
                    undo.push("preset");
                } else if (x < 0.63) {
                    plugin.savePreset(folder + "Thread saved.mvp");
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
