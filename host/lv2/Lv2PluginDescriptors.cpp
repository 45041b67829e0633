#include "host/lv2/Lv2PluginDescriptors.h"

#include "framework/GenericPlugin.h"
#include "host/lv2/Lv2EditorLink.h"
#include "host/lv2/Lv2PluginAdapter.h"

#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstring>
#include <exception>
#include <type_traits>

// The descriptor first, so the host's descriptor pointer leads back here.
struct Lv2PluginDescriptors::Entry {
    LV2_Descriptor descriptor;
    const Lv2PluginGroup* group;
    const Lv2PluginGroup::EffectType* type;
};

namespace {

using Entry = Lv2PluginDescriptors::Entry;

Lv2PluginAdapter& adapterOf(LV2_Handle handle)
{
    return *static_cast<Lv2PluginAdapter*>(handle);
}

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double sampleRate, const char*,
                       const LV2_Feature* const* features)
{
    const auto& entry = *reinterpret_cast<const Entry*>(descriptor);
    try {
        const Lv2PluginGroup::EffectType& type = *entry.type;
        auto plugin = entry.group->createPlugin(type, static_cast<float>(sampleRate));
        auto adapter = std::make_unique<Lv2PluginAdapter>(std::move(plugin), type.ports, sampleRate);
        if (!adapter->bindFeatures(entry.group->getUri(), features))
            return nullptr;
        return adapter.release();
    } catch (const std::exception&) {
        // An instance that cannot be built is no instance; hosts report it.
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data)
{
    adapterOf(handle).connectPort(port, data);
}

void activate(LV2_Handle handle)
{
    adapterOf(handle).activate();
}

void run(LV2_Handle handle, std::uint32_t sampleCount)
{
    adapterOf(handle).run(sampleCount);
}

void cleanup(LV2_Handle handle)
{
    delete static_cast<Lv2PluginAdapter*>(handle);
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, std::uint32_t,
                      const LV2_Feature* const*)
{
    return adapterOf(handle).save(store, state);
}

LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state,
                         std::uint32_t, const LV2_Feature* const*)
{
    return adapterOf(handle).restore(retrieve, state);
}

LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function, LV2_Worker_Respond_Handle, std::uint32_t,
                       const void*)
{
    return adapterOf(handle).work();
}

LV2_Worker_Status workResponse(LV2_Handle, std::uint32_t, const void*)
{
    return LV2_WORKER_SUCCESS;
}

const void* extensionData(const char* uri)
{
    static const LV2_State_Interface state{save, restore};
    static const LV2_Worker_Interface worker{work, workResponse, nullptr};
    if (std::strcmp(uri, LV2_STATE__interface) == 0)
        return &state;
    if (std::strcmp(uri, LV2_WORKER__interface) == 0)
        return &worker;
    if (std::strcmp(uri, Lv2EditorLink::uri) == 0)
        return &Lv2EditorLink::own();
    return nullptr;
}

} // namespace

Lv2PluginDescriptors::Lv2PluginDescriptors(const Lv2PluginGroup& group)
{
    static_assert(std::is_standard_layout_v<Entry>);
    for (const Lv2PluginGroup::EffectType& type : group.getTypes()) {
        auto entry = std::make_unique<Entry>();
        entry->descriptor = {type.uri.c_str(), instantiate, connectPort, activate, run, nullptr, cleanup,
                             extensionData};
        entry->group = &group;
        entry->type = &type;
        entries.push_back(std::move(entry));
    }
}

Lv2PluginDescriptors::~Lv2PluginDescriptors() = default;

const LV2_Descriptor* Lv2PluginDescriptors::get(std::uint32_t index) const
{
    return index < entries.size() ? &entries[index]->descriptor : nullptr;
}
