#pragma once

// A small LV2 host on lilv, for the plug-in's tests: it loads the built
// bundle, maps URIs, offers the options and the worker a real host offers,
// and runs instances on buffers the test owns, with event sequences holding
// MIDI and time:Position; it saves and restores their state as a host saves
// a session.

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace lv2test {

// Safe to call from several threads at once, as a host's map is.
class UridMap {
public:
    LV2_URID map(const std::string& uri)
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto [it, added] = ids.try_emplace(uri, static_cast<LV2_URID>(uris.size() + 1));
        if (added)
            uris.push_back(uri);
        return it->second;
    }
    const char* unmap(LV2_URID id)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return id >= 1 && id <= uris.size() ? uris[id - 1].c_str() : nullptr;
    }

    LV2_URID_Map mapFeature{this, [](LV2_URID_Map_Handle h, const char* uri) {
                                return static_cast<UridMap*>(h)->map(uri);
                            }};
    LV2_URID_Unmap unmapFeature{this, [](LV2_URID_Unmap_Handle h, LV2_URID id) {
                                    return static_cast<UridMap*>(h)->unmap(id);
                                }};

private:
    std::mutex mutex;
    std::map<std::string, LV2_URID> ids;
    std::vector<std::string> uris;
};

// An atom sequence for the events port, written with LV2's own forge as a
// host does; run() hands it over and starts a new one.
class EventSequence {
public:
    explicit EventSequence(UridMap& m, std::size_t bytes = 1 << 16) : map(m), storage(bytes / 8)
    {
        lv2_atom_forge_init(&forge, &map.mapFeature);
        clear();
    }
    EventSequence(const EventSequence&) = delete;
    EventSequence& operator=(const EventSequence&) = delete;

    LV2_Atom_Sequence* get() { return reinterpret_cast<LV2_Atom_Sequence*>(storage.data()); }

    void clear()
    {
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(storage.data()), storage.size() * 8);
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    }

    void midi(std::int64_t frame, std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
    {
        const std::uint8_t bytes[3] = {status, data1, data2};
        lv2_atom_forge_frame_time(&forge, frame);
        lv2_atom_forge_atom(&forge, 3, map.map(LV2_MIDI__MidiEvent));
        lv2_atom_forge_write(&forge, bytes, 3);
    }

    // A time:Position object with the fields given (NaN leaves one out; integers saturate).
    void position(std::int64_t frame, double bpm, double speed, double bar, double barBeat, double beatsPerBar,
                  double beatUnit)
    {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge, frame);
        lv2_atom_forge_object(&forge, &object, 0, map.map(LV2_TIME__Position));
        auto property = [&](const char* key, double value, bool integer) {
            if (std::isnan(value))
                return;
            lv2_atom_forge_key(&forge, map.map(key));
            integer ? lv2_atom_forge_long(&forge, static_cast<std::int64_t>(std::clamp(value, -9.0e18, 9.0e18)))
                    : lv2_atom_forge_float(&forge, static_cast<float>(value));
        };
        property(LV2_TIME__beatsPerMinute, bpm, false);
        property(LV2_TIME__speed, speed, false);
        property(LV2_TIME__bar, bar, true);
        property(LV2_TIME__barBeat, barBeat, false);
        property(LV2_TIME__beatsPerBar, beatsPerBar, false);
        property(LV2_TIME__beatUnit, beatUnit, true);
        lv2_atom_forge_pop(&forge, &object);
    }

private:
    UridMap& map;
    std::vector<std::uint64_t> storage;
    LV2_Atom_Forge forge;
    LV2_Atom_Forge_Frame sequence;
};

// The world with the built bundle loaded, and the features a host offers.
// Worker requests are counted for the test to hand to work() itself.
class Host {
public:
    explicit Host(int maxBlockLength = 4096)
        : world(lilv_world_new()), maxBlock(maxBlockLength), nominalBlock(std::min(maxBlockLength, 1024))
    {
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, OSTRAND_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        options[0] = {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__maxBlockLength), sizeof(std::int32_t),
                      urids.map(LV2_ATOM__Int), &maxBlock};
        options[1] = {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_BUF_SIZE__nominalBlockLength),
                      sizeof(std::int32_t), urids.map(LV2_ATOM__Int), &nominalBlock};
        options[2] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    }
    ~Host() { lilv_world_free(world); }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const LilvPlugin* plugin(const std::string& uri) const
    {
        LilvNode* node = lilv_new_uri(world, uri.c_str());
        const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
        lilv_node_free(node);
        return p;
    }

    LilvWorld* getWorld() const { return world; }
    UridMap& getUrids() { return urids; }
    const LV2_Feature* const* getFeatures() const { return features; }

    // Worker requests the instances made in run; a test hands them to the
    // instance's work() when it likes, as a host's worker thread would.
    int takeWorkRequests() { return workRequests.exchange(0); }

private:
    LilvWorld* world;
    UridMap urids;
    std::int32_t maxBlock;
    std::int32_t nominalBlock;
    LV2_Options_Option options[3];
    LV2_Feature mapFeature{LV2_URID__map, &urids.mapFeature};
    LV2_Feature unmapFeature{LV2_URID__unmap, &urids.unmapFeature};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
    std::atomic<int> workRequests{0};
    LV2_Worker_Schedule schedule{this, [](LV2_Worker_Schedule_Handle h, std::uint32_t, const void*) {
                                     ++static_cast<Host*>(h)->workRequests;
                                     return LV2_WORKER_SUCCESS;
                                 }};
    LV2_Feature scheduleFeature{LV2_WORKER__schedule, &schedule};
    const LV2_Feature* features[5] = {&mapFeature, &unmapFeature, &optionsFeature, &scheduleFeature, nullptr};
};

// One instance and its ports. Audio ports are connected per run; control
// values live here.
class Instance {
public:
    Instance(Host& h, const std::string& uri, double rate = 48000.0)
        : host(h), plugin(h.plugin(uri)), events(h.getUrids())
    {
        if (!plugin)
            throw std::runtime_error("no plug-in " + uri);
        instance = lilv_plugin_instantiate(plugin, rate, h.getFeatures());
        if (!instance)
            throw std::runtime_error("cannot instantiate " + uri);
        // Every control port has a default; the others read NaN.
        controls.assign(lilv_plugin_get_num_ports(plugin), NAN);
        lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, controls.data());
        LilvNode* audio = lilv_new_uri(h.getWorld(), LV2_CORE__AudioPort);
        LilvNode* input = lilv_new_uri(h.getWorld(), LV2_CORE__InputPort);
        for (std::uint32_t i = 0; i < controls.size(); ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            indices[lilv_node_as_string(lilv_port_get_symbol(plugin, port))] = i;
            if (!std::isnan(controls[i]))
                lilv_instance_connect_port(instance, i, &controls[i]);
            else if (lilv_port_is_a(plugin, port, audio))
                (lilv_port_is_a(plugin, port, input) ? audioIns : audioOuts).push_back(i);
            else
                lilv_instance_connect_port(instance, i, events.get());
        }
        std::replace_if(controls.begin(), controls.end(), [](float v) { return std::isnan(v); }, 0.0f);
        lilv_node_free(audio);
        lilv_node_free(input);
        lilv_instance_activate(instance);
    }
    ~Instance()
    {
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    std::uint32_t port(const std::string& symbol) const
    {
        auto it = indices.find(symbol);
        if (it == indices.end())
            throw std::runtime_error("no port " + symbol);
        return it->second;
    }
    void set(const std::string& symbol, float value) { controls[port(symbol)] = value; }
    float get(const std::string& symbol) const { return controls[port(symbol)]; }

    // Audio inputs in port order (main inputs, then side chains) and
    // outputs, each read and written from offset on. A null input is left
    // unconnected.
    void run(const std::vector<const float*>& in, const std::vector<float*>& out, std::size_t offset,
             std::uint32_t n)
    {
        for (std::size_t i = 0; i < audioIns.size(); ++i)
            lilv_instance_connect_port(instance, audioIns[i],
                                       i < in.size() && in[i] ? const_cast<float*>(in[i] + offset) : nullptr);
        for (std::size_t i = 0; i < audioOuts.size(); ++i)
            lilv_instance_connect_port(instance, audioOuts[i], out[i] + offset);
        lilv_instance_run(instance, n);
        events.clear();
    }

    // The port values and the plug-in's own keys, through lilv, as a host
    // saves a session; and back.
    LilvState* saveState()
    {
        const auto getPort = [](const char* symbol, void* self, std::uint32_t* size, std::uint32_t* type) -> const void* {
            auto& i = *static_cast<Instance*>(self);
            *size = sizeof(float);
            *type = 0;
            return &i.controls[i.port(symbol)];
        };
        return lilv_state_new_from_instance(plugin, instance, &host.getUrids().mapFeature, nullptr, nullptr, nullptr,
                                            nullptr, getPort, this, 0, nullptr);
    }
    void restoreState(const LilvState* state)
    {
        const auto setPort = [](const char* symbol, void* self, const void* value, std::uint32_t size, std::uint32_t) {
            if (size == sizeof(float))
                static_cast<Instance*>(self)->set(symbol, *static_cast<const float*>(value));
        };
        lilv_state_restore(state, instance, setPort, this, 0, nullptr);
    }

    template <typename T> const T* extension(const char* uri) const
    {
        return static_cast<const T*>(lilv_instance_get_extension_data(instance, uri));
    }
    LV2_Handle handle() const { return lilv_instance_get_handle(instance); }
    EventSequence& getEvents() { return events; }
    LilvInstance* get() const { return instance; }
    const LilvPlugin* getPlugin() const { return plugin; }
    std::size_t audioOutputCount() const { return audioOuts.size(); }
    const std::vector<float>& getControls() const { return controls; }

private:
    Host& host;
    const LilvPlugin* plugin;
    LilvInstance* instance = nullptr;
    EventSequence events;
    std::vector<float> controls;
    std::map<std::string, std::uint32_t> indices;
    std::vector<std::uint32_t> audioIns;
    std::vector<std::uint32_t> audioOuts;
};

// The plug-in's own state keys as a host keeps them between a save and a
// restore.
struct StateStore {
    struct Value {
        std::uint32_t type = 0;
        std::string bytes;
        bool operator==(const Value&) const = default;
    };
    std::map<std::uint32_t, Value> values;

    bool save(const LV2_State_Interface& state, LV2_Handle instance)
    {
        const auto store = [](LV2_State_Handle h, std::uint32_t key, const void* value, std::size_t size,
                              std::uint32_t type, std::uint32_t) {
            static_cast<StateStore*>(h)->values[key] = {type, std::string(static_cast<const char*>(value), size)};
            return LV2_STATE_SUCCESS;
        };
        return state.save(instance, store, this, 0, nullptr) == LV2_STATE_SUCCESS;
    }
    bool restore(const LV2_State_Interface& state, LV2_Handle instance) const
    {
        const auto retrieve = [](LV2_State_Handle h, std::uint32_t key, std::size_t* size, std::uint32_t* type,
                                 std::uint32_t* flags) -> const void* {
            const auto& all = static_cast<const StateStore*>(h)->values;
            const auto it = all.find(key);
            if (it == all.end())
                return nullptr;
            *size = it->second.bytes.size();
            *type = it->second.type;
            *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
            return it->second.bytes.data();
        };
        return state.restore(instance, retrieve, const_cast<StateStore*>(this), 0, nullptr) == LV2_STATE_SUCCESS;
    }
};

} // namespace lv2test
