#include "host/lv2/Lv2PluginAdapter.h"

#include "filters/KernelClones.h"
#include "framework/AbstractPluginParameter.h"
#include "framework/RealtimeThread.h"
#include "persistence/PresetLibrary.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cmath>
#include <cstring>

struct Lv2PluginAdapter::Uris {
    LV2_URID atomObject, atomBlank, atomString, atomInt, atomLong, atomFloat, atomDouble;
    LV2_URID midiEvent;
    LV2_URID position, bar, barBeat, beat, beatUnit, beatsPerBar, beatsPerMinute, speed;
    LV2_URID maxBlockLength;
    LV2_URID presetName;

    Uris(const LV2_URID_Map& m, const std::string& stateUri)
    {
        auto map = [&m](const char* uri) { return m.map(m.handle, uri); };
        atomObject = map(LV2_ATOM__Object);
        atomBlank = map(LV2_ATOM__Blank);
        atomString = map(LV2_ATOM__String);
        atomInt = map(LV2_ATOM__Int);
        atomLong = map(LV2_ATOM__Long);
        atomFloat = map(LV2_ATOM__Float);
        atomDouble = map(LV2_ATOM__Double);
        midiEvent = map(LV2_MIDI__MidiEvent);
        position = map(LV2_TIME__Position);
        bar = map(LV2_TIME__bar);
        barBeat = map(LV2_TIME__barBeat);
        beat = map(LV2_TIME__beat);
        beatUnit = map(LV2_TIME__beatUnit);
        beatsPerBar = map(LV2_TIME__beatsPerBar);
        beatsPerMinute = map(LV2_TIME__beatsPerMinute);
        speed = map(LV2_TIME__speed);
        maxBlockLength = map(LV2_BUF_SIZE__maxBlockLength);
        presetName = map((stateUri + "#presetName").c_str());
    }

    // A number atom of any of the four numeric types; NaN otherwise.
    double number(const LV2_Atom* a) const
    {
        if (a->type == atomFloat && a->size >= sizeof(float))
            return static_cast<double>(reinterpret_cast<const LV2_Atom_Float*>(a)->body);
        if (a->type == atomDouble && a->size >= sizeof(double))
            return reinterpret_cast<const LV2_Atom_Double*>(a)->body;
        if (a->type == atomInt && a->size >= sizeof(std::int32_t))
            return reinterpret_cast<const LV2_Atom_Int*>(a)->body;
        if (a->type == atomLong && a->size >= sizeof(std::int64_t))
            return static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(a)->body);
        return std::nan("");
    }
};

namespace {

constexpr int minBlock = 64;
constexpr int maxBlockLimit = 16384;

std::uint32_t bitsOf(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

const void* feature(const LV2_Feature* const* features, const char* uri)
{
    // Every feature looked up here carries data; entries without data or
    // URI are passed over unread.
    for (; features && *features; ++features)
        if ((*features)->data && (*features)->URI && std::strcmp((*features)->URI, uri) == 0)
            return (*features)->data;
    return nullptr;
}

} // namespace

Lv2PluginAdapter::Lv2PluginAdapter(std::unique_ptr<GenericPlugin> p, const Lv2PortLayout& layout,
                                   double sampleRate)
    : plugin(std::move(p)), ports(layout),
      channels(std::clamp(std::max(layout.outputs, layout.mainInputs), 1, maxChannels)),
      inputs(static_cast<std::size_t>(layout.mainInputs)), outputs(static_cast<std::size_t>(layout.outputs)),
      sideChains(static_cast<std::size_t>(layout.sideChains)),
      controls(static_cast<std::size_t>(layout.parameters), &unconnected),
      lastControls(static_cast<std::size_t>(layout.parameters)),
      controlRuns(static_cast<std::size_t>(std::max(layout.parameters, 1))), transport(sampleRate),
      fade(sampleRate)
{
    changedWords = (plugin->getParameterCount() + 63) / 64;
    changed = std::make_unique<std::atomic<std::uint64_t>[]>(static_cast<std::size_t>(changedWords));
    plugin->setAdapter(this);
}

Lv2PluginAdapter::~Lv2PluginAdapter()
{
    plugin->setAdapter(nullptr);
}

bool Lv2PluginAdapter::bindFeatures(const std::string& stateUri, const LV2_Feature* const* features)
{
    const auto* map = static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map));
    if (!map)
        return false;
    uris = std::make_unique<Uris>(*map, stateUri);
    worker = static_cast<LV2_Worker_Schedule*>(const_cast<void*>(feature(features, LV2_WORKER__schedule)));
    if (const auto* option = static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options)))
        for (; option->key; ++option)
            if (option->key == uris->maxBlockLength && option->type == uris->atomInt && option->value)
                maxBlock = std::clamp(*static_cast<const std::int32_t*>(option->value), minBlock, maxBlockLimit);
    dryStore.assign(static_cast<std::size_t>((maxBlock + Lv2PortLayout::longestLatency) * channels), 0.0f);
    return true;
}

void Lv2PluginAdapter::connectPort(std::uint32_t port, void* data)
{
    const int p = static_cast<int>(port);
    if (p < ports.firstOutput())
        inputs[static_cast<std::size_t>(p)] = static_cast<const float*>(data);
    else if (p < ports.firstSideChain())
        outputs[static_cast<std::size_t>(p - ports.firstOutput())] = static_cast<float*>(data);
    else if (p < ports.eventsPort())
        sideChains[static_cast<std::size_t>(p - ports.firstSideChain())] = static_cast<const float*>(data);
    else if (p == ports.eventsPort())
        events = static_cast<const LV2_Atom_Sequence*>(data);
    else if (p == ports.enabledPort())
        enabledPort = static_cast<const float*>(data);
    else if (p == ports.latencyPort())
        latencyPort = static_cast<float*>(data);
    else if (p < ports.portCount()) {
        // Some hosts connect every port before every run: only a port that
        // moves changes the stretches.
        const float*& control = controls[static_cast<std::size_t>(p - ports.firstParameterPort())];
        const float* to = data ? static_cast<const float*>(data) : &unconnected;
        controlRunsStale = controlRunsStale || to != control;
        control = to;
    }
}

void Lv2PluginAdapter::activate()
{
    firstRun = true;
    // Clears what the last activation left in the delay lines here, off the
    // audio thread: the first run's reset (which applies the ports at once)
    // then finds them clean and costs what any run costs.
    plugin->reset();
}

namespace {

// Whether count values hold the bits last saw: thirty-two at a time in
// four eight-lane vectors (two registers each without AVX2), then eight at
// a time.
OSTRAND_KERNEL_CLONES bool sameBits(const float* values, const std::uint32_t* last, int count)
{
    using Bits = std::uint32_t __attribute__((vector_size(32)));
    // Named vectors, each filled by a memcpy of its own: an array of them
    // would first be copied through the stack.
    Bits v0, v1, v2, v3, l0, l1, l2, l3;
    Bits differs[2] = {};
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        std::memcpy(&v0, values + i, sizeof v0);
        std::memcpy(&v1, values + i + 8, sizeof v1);
        std::memcpy(&v2, values + i + 16, sizeof v2);
        std::memcpy(&v3, values + i + 24, sizeof v3);
        std::memcpy(&l0, last + i, sizeof l0);
        std::memcpy(&l1, last + i + 8, sizeof l1);
        std::memcpy(&l2, last + i + 16, sizeof l2);
        std::memcpy(&l3, last + i + 24, sizeof l3);
        differs[0] |= (v0 ^ l0) | (v2 ^ l2);
        differs[1] |= (v1 ^ l1) | (v3 ^ l3);
    }
    for (; i + 8 <= count; i += 8) {
        std::memcpy(&v0, values + i, sizeof v0);
        std::memcpy(&l0, last + i, sizeof l0);
        differs[0] |= v0 ^ l0;
    }
    const Bits both = differs[0] | differs[1];
    std::uint32_t any = 0;
    for (int k = 0; k < 8; ++k)
        any |= both[k];
    for (; i < count; ++i)
        any |= bitsOf(values[i]) ^ last[i];
    return any == 0;
}

}  // namespace

void Lv2PluginAdapter::findControlRuns()
{
    constexpr int shortest = 16;
    const int n = std::min(ports.parameters, plugin->getParameterCount());
    controlRunCount = 0;
    for (int i = 0; i < n;) {
        int j = i + 1;
        while (j < n && controls[static_cast<std::size_t>(j)] == controls[static_cast<std::size_t>(j) - 1] + 1)
            ++j;
        const bool adjacent = j - i >= shortest;
        ControlRun* last = controlRunCount > 0 ? &controlRuns[static_cast<std::size_t>(controlRunCount) - 1] : nullptr;
        if (!adjacent && last && !last->adjacent)
            last->end = j;
        else
            controlRuns[static_cast<std::size_t>(controlRunCount++)] = {i, j, adjacent};
        i = j;
    }
    controlRunsStale = false;
}

void Lv2PluginAdapter::readControlPorts()
{
    // Hundreds of ports, of which a host moves a few at most between two
    // runs: where the values lie side by side, one vector pass says whether
    // any changed; elsewhere a branch-free pass over a group of them does.
    // Only a changed group is read port by port. (Port by port throughout,
    // this was the largest fixed cost of a run.)
    if (controlRunsStale)
        findControlRuns();
    for (int r = 0; r < controlRunCount; ++r) {
        const ControlRun& run = controlRuns[static_cast<std::size_t>(r)];
        if (firstRun || !run.adjacent ||
            !sameBits(controls[static_cast<std::size_t>(run.begin)], lastControls.data() + run.begin,
                      run.end - run.begin))
            scanControlPorts(run.begin, run.end);
    }
}

void Lv2PluginAdapter::scanControlPorts(int begin, int end)
{
    constexpr int group = 8;
    const float* const* port = controls.data();
    const std::uint32_t* last = lastControls.data();
    for (int start = begin; start < end; start += group) {
        std::uint32_t differs = firstRun || start + group > end ? 1u : 0u;
        if (!differs) {
#pragma GCC unroll 8
            for (int k = 0; k < group; ++k)
                differs |= bitsOf(*port[start + k]) ^ last[start + k];
        }
        if (differs != 0)
            readControlPorts(start, std::min(start + group, end));
    }
}

void Lv2PluginAdapter::readControlPorts(int begin, int end)
{
    for (int i = begin; i < end; ++i) {
        const float value = *controls[static_cast<std::size_t>(i)];
        const std::uint32_t bits = bitsOf(value);
        std::uint32_t& last = lastControls[static_cast<std::size_t>(i)];
        if (bits == last && !firstRun)
            continue;
        last = bits;
        if (std::isnan(value))
            continue;
        AbstractPluginParameter& p = *plugin->getParameter(i);
        float v = std::clamp(value, p.getMin(), p.getMax());
        if (p.isEnumerated())
            v = std::round(v);
        p.setValue(v, GenericPlugin::changeFromHost | GenericPlugin::changeWithoutListener);
    }
}

void Lv2PluginAdapter::run(std::uint32_t sampleCount)
{
    // Parameters set and MIDI queued from here on must not allocate.
    RealtimeThreadScope audioThread;
    readControlPorts();
    if (enabledPort && !std::isnan(*enabledPort))
        enabled = *enabledPort > 0.5f;
    if (firstRun) {
        plugin->applyQueuedChangesAtOnce();
        fade.jumpTo(enabled);
        firstRun = false;
    } else {
        fade.setEnabled(enabled);
    }
    bool sideChainConnected = !sideChains.empty();
    for (const float* s : sideChains)
        sideChainConnected = sideChainConnected && s;
    plugin->setSideChainPresent(sideChainConnected);

    const std::uint32_t n = sampleCount;
    const LV2_Atom_Event* event = events ? lv2_atom_sequence_begin(&events->body) : nullptr;
    auto more = [this, &event] {
        return event && !lv2_atom_sequence_is_end(&events->body, events->atom.size, event);
    };
    std::uint32_t start = 0;
    do {
        std::uint32_t end = std::min(n, start + static_cast<std::uint32_t>(maxBlock));
        for (; more(); event = lv2_atom_sequence_next(event)) {
            const std::int64_t frames = event->time.frames;
            const auto at = static_cast<std::uint32_t>(
                std::clamp<std::int64_t>(frames, start, static_cast<std::int64_t>(n)));
            if (at >= end && end < n)
                break;
            const LV2_Atom* body = &event->body;
            if (body->type == uris->midiEvent) {
                queueMidi(body, at - start);
            } else if (body->type == uris->atomObject || body->type == uris->atomBlank) {
                const auto* object = reinterpret_cast<const LV2_Atom_Object*>(body);
                if (object->body.otype != uris->position)
                    continue;
                if (at > start && at < n) {
                    // The transport changes here: a new stretch starts.
                    end = at;
                    break;
                }
                readPosition(body);
            }
        }
        plugin->setTransport(transport.getTempo(), transport.getPosition());
        runStretch(start, end - start);
        transport.advance(static_cast<int>(end - start));
        start = end;
    } while (start < n);

    if (latencyPort)
        *latencyPort = static_cast<float>(std::min(plugin->getLatency(), Lv2PortLayout::longestLatency));

    if (worker && !workScheduled.load(std::memory_order_acquire) && plugin->needsControlThread()) {
        const char request = 0;
        workScheduled.store(worker->schedule_work(worker->handle, sizeof request, &request) == LV2_WORKER_SUCCESS,
                            std::memory_order_release);
    }
}

void Lv2PluginAdapter::queueMidi(const LV2_Atom* atom, std::uint32_t offset)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(atom + 1);
    // Channel messages only; system messages have no meaning here.
    if (atom->size < 1 || bytes[0] < 0x80 || bytes[0] >= 0xF0)
        return;
    const int data1 = atom->size > 1 ? bytes[1] & 0x7F : 0;
    const int data2 = atom->size > 2 ? bytes[2] & 0x7F : 0;
    plugin->queueMidiEvent(static_cast<int>(offset), bytes[0], data1, data2);
}

void Lv2PluginAdapter::readPosition(const LV2_Atom* atom)
{
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
    Lv2Transport::Position p = Lv2Transport::emptyPosition();
    for (const LV2_Atom_Property_Body* property = lv2_atom_object_begin(&object->body);
         !lv2_atom_object_is_end(&object->body, object->atom.size, property);
         property = lv2_atom_object_next(property)) {
        const double value = uris->number(&property->value);
        const LV2_URID key = property->key;
        if (key == uris->beatsPerMinute)
            p.beatsPerMinute = value;
        else if (key == uris->speed)
            p.speed = value;
        else if (key == uris->bar)
            p.bar = value;
        else if (key == uris->barBeat)
            p.barBeat = value;
        else if (key == uris->beat)
            p.beat = value;
        else if (key == uris->beatsPerBar)
            p.beatsPerBar = value;
        else if (key == uris->beatUnit)
            p.beatUnit = value;
    }
    transport.apply(p);
}

int Lv2PluginAdapter::gatherInputs(const float** list, std::uint32_t offset) const
{
    int count = 0;
    for (const float* in : inputs)
        list[count++] = in ? in + offset : nullptr;
    if (plugin->isSideChainPresent())
        for (const float* sc : sideChains)
            list[count++] = sc + offset;
    return count;
}

namespace {

// What is not finite is silence, as the effect's input guard makes it.
void silenceNonFinite(float* x, int n)
{
    for (int i = 0; i < n; ++i)
        x[i] = std::fabs(x[i]) <= std::numeric_limits<float>::max() ? x[i] : 0.0f;
}

} // namespace

// Channel c's input of this stretch, dryLatency samples late and finite: the
// kept samples, then the stretch, whose last dryLatency samples are kept for
// the next.
const float* Lv2PluginAdapter::delayDry(int c, const float* in, int n)
{
    float* tail = dryTails[static_cast<std::size_t>(c)].data();
    const int late = dryLatency;
    // Copied aside first: the host's input buffer may be an output too.
    float* store = dryStore.data() + static_cast<std::size_t>(c * (maxBlock + Lv2PortLayout::longestLatency));
    std::copy_n(tail, late, store);
    std::copy_n(in, n, store + late);
    silenceNonFinite(store, late + n);
    std::copy_n(store + n, late, tail);
    return store;
}

void Lv2PluginAdapter::runStretch(std::uint32_t offset, std::uint32_t length)
{
    const float* in[2 * maxChannels] = {};
    float* out[maxChannels] = {};
    const int inputCount = gatherInputs(in, offset);
    const int outputCount = std::min(ports.outputs, maxChannels);
    for (int c = 0; c < outputCount; ++c)
        out[c] = outputs[static_cast<std::size_t>(c)] ? outputs[static_cast<std::size_t>(c)] + offset : nullptr;
    // The dry signal of output c is the plug-in's input c (silence without
    // audio input).
    const float* dry[maxChannels] = {};
    for (int c = 0; c < outputCount && ports.mainInputs > 0; ++c)
        dry[c] = in[c];
    const auto n = static_cast<int>(length);

    // The dry signal comes as late as the effect's output.
    const int late = std::min(plugin->getLatency(), Lv2PortLayout::longestLatency);
    if (late != dryLatency) {
        // What is kept is too short or too long: the newest samples stay.
        for (auto& tail : dryTails) {
            std::array<float, Lv2PortLayout::longestLatency> kept{};
            const int stays = std::min(late, dryLatency);
            std::copy_n(tail.begin() + dryLatency - stays, stays, kept.begin() + late - stays);
            tail = kept;
        }
        dryLatency = late;
    }

    if (fade.isBypassed()) {
        wasEnabled = false;
        for (int c = 0; c < outputCount; ++c) {
            const float* delayed = dry[c] ? delayDry(c, dry[c], n) : nullptr;
            if (!out[c])
                continue;
            if (delayed)
                std::copy_n(delayed, n, out[c]);
            else
                std::fill_n(out[c], n, 0.0f);
        }
        // No audio, but queued changes and MIDI still reach the plug-in.
        plugin->process(in, inputCount, out, 0, 0);
        return;
    }
    if (fade.isEnabled()) {
        plugin->process(in, inputCount, out, outputCount, n);
        wasEnabled = true;
        return;
    }
    if (wasEnabled) {
        // Fading from the effect alone: the dry input the fade needs begins
        // with this stretch, so the fade waits the latency for it (nothing
        // of earlier runs is kept while the effect plays alone).
        wasEnabled = false;
        fadeHold = dryLatency;
        for (auto& tail : dryTails)
            tail.fill(0.0f);
    }
    const float* saved[maxChannels] = {};
    for (int c = 0; c < outputCount; ++c)
        if (dry[c])
            saved[c] = delayDry(c, dry[c], n);
    plugin->process(in, inputCount, out, outputCount, n);
    const int held = std::min(fadeHold, n);
    fadeHold -= held;
    int mixed = 0;
    float* targets[maxChannels] = {};
    const float* sources[maxChannels] = {};
    for (int c = 0; c < outputCount; ++c)
        if (out[c]) {
            targets[mixed] = out[c] + held;
            sources[mixed++] = saved[c] ? saved[c] + held : nullptr;
        }
    // Faded down to bypass: the effect starts from silence when it comes back.
    if (held < n && fade.mix(sources, targets, mixed, n - held))
        plugin->reset();
}

LV2_State_Status Lv2PluginAdapter::save(LV2_State_Store_Function store, LV2_State_Handle handle)
{
    std::string name = plugin->getPresetState().getName().substr(0, maxPresetName);
    return store(handle, uris->presetName, name.c_str(), name.size() + 1, uris->atomString,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Lv2PluginAdapter::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle)
{
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    const void* value = retrieve(handle, uris->presetName, &size, &type, &flags);
    if (!value || type != uris->atomString)
        return LV2_STATE_SUCCESS;
    // At most 64 bytes count, the last of them always the end of the text.
    const auto* text = static_cast<const char*>(value);
    const std::size_t limit = std::min(size, maxPresetName);
    const std::size_t length = std::find(text, text + limit, '\0') - text;
    PresetState& preset = plugin->getPresetState();
    const std::string name(text, length);
    // The place of the first preset of that name; a preset that is gone
    // leaves the name without a place.
    const PresetItem* item = PresetLibrary::shared().presets().findByName(name);
    preset.setPlace(name, item ? item->path : std::string());
    plugin->notifyPresetChanged();
    return LV2_STATE_SUCCESS;
}

LV2_Worker_Status Lv2PluginAdapter::work()
{
    plugin->serviceControlThread();
    workScheduled.store(false, std::memory_order_release);
    return LV2_WORKER_SUCCESS;
}

void Lv2PluginAdapter::beginGesture(int index)
{
    if (View* view = attachedView.load(std::memory_order_acquire))
        view->beginGesture(index);
}

void Lv2PluginAdapter::endGesture(int index)
{
    if (View* view = attachedView.load(std::memory_order_acquire))
        view->endGesture(index);
}

void Lv2PluginAdapter::parameterChanged(int index)
{
    if (index < 0) {
        const int count = plugin->getParameterCount();
        for (int w = 0; w < changedWords; ++w) {
            const int bits = std::min(64, count - 64 * w);
            changed[static_cast<std::size_t>(w)].fetch_or(bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1,
                                                          std::memory_order_acq_rel);
        }
        return;
    }
    if (index >= plugin->getParameterCount())
        return;
    changed[static_cast<std::size_t>(index / 64)].fetch_or(std::uint64_t{1} << (index % 64),
                                                            std::memory_order_acq_rel);
}
