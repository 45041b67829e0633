#pragma once

#include "framework/GenericPlugin.h"
#include "host/lv2/Lv2BypassFade.h"
#include "host/lv2/Lv2PortLayout.h"
#include "host/lv2/Lv2Transport.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

// One per LV2 plug-in instance: owns the generic plug-in and maps the
// host's ports, events, state and worker onto it.
//
// Control ports: at the start of every run each parameter port is compared
// with the value it had at the previous run, and only a port that moved
// reaches its parameter (clamped to the range, NaN ignored), marked as a
// change from the host, so it is neither echoed back nor announced to a
// listener on the audio thread. So a value the editor or a MIDI controller
// set stays until the host moves that port. The values present at the
// first run after instantiation or activation are a restored session: they
// apply at once, without gliding from the defaults.
//
// Audio: any block length the host passes runs, in stretches of at most the
// host's announced maximum block length (4096 when it announces none), and
// split where a time:Position event sits, so each stretch starts with the
// transport right. Processing in place works.
//
// The enabled port (the master bypass) crossfades between the effect and
// the dry input over 20 ms in both directions; once bypassed, the outputs
// are the inputs sample for sample (what is not finite is silence, as in
// the effect), the plug-in's audio does not run (MIDI and parameter changes
// still reach it) and its graph is reset. The dry input comes as late as the
// effect's output (the latency reported on the latency port after every
// run), so a host that makes up for the latency keeps doing so right while
// bypassed, and the fade does not comb; a fade from the effect starts once
// the input has come through, the latency after the switch.
//
// Threads: run on the audio thread; instantiate, activate, state and the
// destructor on the host's control thread; work on the host's worker thread.
class Lv2PluginAdapter final : public GenericPlugin::Adapter {
public:
    // The editor's view of this instance (the LV2 UI), which passes the
    // editor's gestures on to the host.
    class View {
    public:
        virtual void beginGesture(int index) = 0;
        virtual void endGesture(int index) = 0;

    protected:
        ~View() = default;
    };

    // The longest stretch run at once when the host does not say.
    static constexpr int defaultMaxBlock = 4096;
    static constexpr int maxChannels = 2;

    // plugin is built for the layout's channels. Attach the host's
    // features before anything else.
    Lv2PluginAdapter(std::unique_ptr<GenericPlugin> plugin, const Lv2PortLayout& ports, double sampleRate);
    ~Lv2PluginAdapter();
    Lv2PluginAdapter(const Lv2PluginAdapter&) = delete;
    Lv2PluginAdapter& operator=(const Lv2PluginAdapter&) = delete;

    // False when the host lacks a feature the adapter needs (urid:map).
    // stateUri prefixes the keys of the saved state.
    bool bindFeatures(const std::string& stateUri, const LV2_Feature* const* features);

    void connectPort(std::uint32_t port, void* data);
    void activate();
    void run(std::uint32_t sampleCount);

    // state:interface: the preset name, at most 63 characters.
    LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
    LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);
    // work:interface: announces the preset a MIDI program change switched
    // to on the audio thread, and reads the program table again when the
    // preset list changed.
    LV2_Worker_Status work();

    // GenericPlugin::Adapter: the editor or a MIDI controller moved a
    // parameter. LV2 lets only the host write its control ports; the index
    // is kept here for the editor's view, which passes it on to the host.
    void parameterChanged(int index) override;
    void presetChanged() override {}
    // The editor's gestures go to the attached view, if any; the editor
    // makes them on the UI thread.
    void beginGesture(int index) override;
    void endGesture(int index) override;
    // UI thread: the view that hears the gestures (null detaches).
    void attachView(View* view) { attachedView.store(view, std::memory_order_release); }

    // Control or UI thread: hands each parameter changed since the last
    // call to fn(index), once.
    template <typename Fn> void takeChangedParameters(Fn&& fn);

    GenericPlugin& getPlugin() const { return *plugin; }
    const Lv2PortLayout& getPorts() const { return ports; }
    int getMaxBlock() const { return maxBlock; }

    // The most characters of a preset name the state keeps.
    static constexpr std::size_t maxPresetName = 63;

private:
    struct Uris;

    // The input list the plug-in reads for a stretch starting at offset:
    // its channels' main inputs, then, when the host connected a side chain,
    // a side-chain input per channel. Returns the list's length.
    int gatherInputs(const float** list, std::uint32_t offset) const;

    void readControlPorts();
    // Ports [begin, end), eight at a time: a group with a changed value is
    // read port by port.
    void scanControlPorts(int begin, int end);
    // Ports [begin, end) one by one: each changed value goes to its parameter.
    void readControlPorts(int begin, int end);
    void findControlRuns();
    void runStretch(std::uint32_t offset, std::uint32_t length);
    void readPosition(const LV2_Atom* atom);
    void queueMidi(const LV2_Atom* atom, std::uint32_t offset);
    const float* delayDry(int channel, const float* in, int n);

    std::unique_ptr<GenericPlugin> plugin;
    Lv2PortLayout ports;
    int channels;
    std::unique_ptr<Uris> uris;
    LV2_Worker_Schedule* worker = nullptr;
    int maxBlock = defaultMaxBlock;

    std::vector<const float*> inputs;
    std::vector<float*> outputs;
    std::vector<const float*> sideChains;
    const LV2_Atom_Sequence* events = nullptr;
    const float* enabledPort = nullptr;
    float* latencyPort = nullptr;
    // Never null: a port the host leaves unconnected reads `unconnected`,
    // a NaN, which is never applied.
    std::vector<const float*> controls;
    static constexpr float unconnected = std::numeric_limits<float>::quiet_NaN();

    // The port values of the previous run, as bits, so a NaN compares equal
    // to itself and is not read again.
    std::vector<std::uint32_t> lastControls;
    // The parameter ports in stretches: those whose values the host keeps
    // side by side in memory (most hosts keep their control values in one
    // array), which one vector pass compares with lastControls, and the
    // rest. Found again in the first run after a port moved.
    struct ControlRun {
        int begin;
        int end;
        bool adjacent;
    };
    std::vector<ControlRun> controlRuns;  // room for one per port
    int controlRunCount = 0;
    bool controlRunsStale = true;
    bool enabled = true;
    bool firstRun = true;

    Lv2Transport transport;
    Lv2BypassFade fade;
    // The dry inputs while a fade runs or bypassed, held back by the
    // latency (a host processing in place overwrites them with the effect):
    // per channel the last dryLatency inputs, then the stretch.
    std::vector<float> dryStore;
    std::array<std::array<float, Lv2PortLayout::longestLatency>, maxChannels> dryTails{};
    int dryLatency = 0;
    bool wasEnabled = true; // the last stretch played the effect alone
    int fadeHold = 0;       // samples the fade still waits for the dry input
    std::atomic<bool> workScheduled{false};

    std::atomic<View*> attachedView{nullptr};

    // One bit per parameter changed by the editor or MIDI.
    std::unique_ptr<std::atomic<std::uint64_t>[]> changed;
    int changedWords = 0;
};

template <typename Fn> void Lv2PluginAdapter::takeChangedParameters(Fn&& fn)
{
    for (int w = 0; w < changedWords; ++w) {
        std::uint64_t bits = changed[static_cast<std::size_t>(w)].exchange(0, std::memory_order_acq_rel);
        for (int b = 0; bits; ++b, bits >>= 1)
            if (bits & 1u)
                fn(w * 64 + b);
    }
}
