#include "host/lv2/Lv2EditorLink.h"

#include "framework/ApplicationInfo.h"
#include "framework/GenericPlugin.h"
#include "framework/GlobalSettings.h"
#include "framework/PluginStorage.h"
#include "host/lv2/Lv2PluginAdapter.h"
#include "persistence/PresetLibrary.h"

namespace {

Lv2PluginAdapter* adapterOfHandle(LV2_Handle instance) { return static_cast<Lv2PluginAdapter*>(instance); }

} // namespace

const Lv2EditorLink& Lv2EditorLink::own()
{
    // Built on first request, by then the first instance has installed the
    // storage and filled the settings.
    static const Lv2EditorLink link{lv2BuildFingerprint(),
                                    adapterOfHandle,
                                    &GlobalSettings::shared(),
                                    &ApplicationInfo::shared(),
                                    &PresetLibrary::shared(),
                                    PluginStorage::installed(),
                                    MainPresetFolder::installed(),
                                    GenericPlugin::getSharedControllerMap};
    return link;
}

void Lv2EditorLink::adopt() const
{
    GlobalSettings::adopt(settings);
    ApplicationInfo::adopt(application);
    PresetLibrary::adopt(presets);
    PluginStorage::install(storage);
    MainPresetFolder::install(presetFolder);
    GenericPlugin::adoptSharedControllerMap(controllerMap());
}
