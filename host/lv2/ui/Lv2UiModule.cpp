// The bundle's editor module: the one symbol LV2 hosts look up for a UI.
//
// The editor needs the plug-in object itself (instance-access) and the
// objects the plug-in module shares between its instances, which it finds
// through the plug-in's extension data (data-access). It refuses, and the
// host falls back to its own controls, when either is missing, when the
// plug-in module comes from another build, or when no X display opens.
#include "host/lv2/Lv2EditorLink.h"
#include "host/lv2/ui/Lv2ViewAdapter.h"

#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdio>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>

namespace {

constexpr const char* uiUri = "urn:merovance:ostrand2#ui";

// The data of a feature the host offers; null when it offers none.
const void* feature(const LV2_Feature* const* features, const char* uri)
{
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, uri) == 0)
            return (*f)->data;
    return nullptr;
}

// 2 when the host asks for ui:scaleFactor 1.5 or more, 1 below that, 0
// when it says nothing (the X server's DPI decides then).
int hostScale(const LV2_Feature* const* features)
{
    const auto* map = static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map));
    const auto* options = static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options));
    if (!map || !options)
        return 0;
    const LV2_URID scaleKey = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = map->map(map->handle, "http://lv2plug.in/ns/ext/atom#Float");
    for (const LV2_Options_Option* o = options; o->key || o->value; ++o)
        if (o->key == scaleKey && o->type == floatType && o->size == sizeof(float) && o->value) {
            float factor;
            std::memcpy(&factor, o->value, sizeof factor);
            return factor >= 1.5f ? 2 : 1;
        }
    return 0;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features)
{
    const auto* dataAccess = static_cast<const LV2_Extension_Data_Feature*>(feature(features, LV2_DATA_ACCESS_URI));
    const void* instance = feature(features, LV2_INSTANCE_ACCESS_URI);
    if (!dataAccess || !dataAccess->data_access || !instance)
        return nullptr;
    const auto* link = static_cast<const Lv2EditorLink*>(dataAccess->data_access(Lv2EditorLink::uri));
    if (!link)
        return nullptr;
    if (std::strcmp(link->build, lv2BuildFingerprint()) != 0) {
        std::fputs("Ostrand 2: the plug-in running in this host comes from another build than its editor; "
                   "restart the host to open the editor.\n",
                   stderr);
        return nullptr;
    }
    link->adopt();
    Lv2ViewAdapter::Host host;
    host.write = write;
    host.controller = controller;
    host.touch = static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch));
    host.resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize));
    host.parent = reinterpret_cast<std::uintptr_t>(feature(features, LV2_UI__parent));
    host.scale = hostScale(features);
    try {
        auto view = std::make_unique<Lv2ViewAdapter>(*link->adapterOf(const_cast<void*>(instance)), host);
        *widget = reinterpret_cast<LV2UI_Widget>(static_cast<std::uintptr_t>(view->widget()));
        return view.release();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Ostrand 2: the editor cannot open: %s\n", e.what());
        return nullptr;
    }
}

Lv2ViewAdapter& viewOf(LV2UI_Handle handle) { return *static_cast<Lv2ViewAdapter*>(handle); }

void cleanup(LV2UI_Handle handle) { delete static_cast<Lv2ViewAdapter*>(handle); }

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer)
{
    viewOf(handle).portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) { return viewOf(handle).idle(); }

const void* extensionData(const char* uri)
{
    static const LV2UI_Idle_Interface idleInterface{idle};
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0)
        return &idleInterface;
    return nullptr;
}

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index)
{
    static const LV2UI_Descriptor descriptor{uiUri, instantiate, cleanup, portEvent, extensionData};
    return index == 0 ? &descriptor : nullptr;
}
