#include "framework/PluginStorage.h"

#include <atomic>

namespace {
std::atomic<PluginStorage*> storage{nullptr};
std::atomic<MainPresetFolder*> presetFolder{nullptr};
} // namespace

void PluginStorage::install(PluginStorage* s)
{
    storage.store(s, std::memory_order_release);
}
PluginStorage* PluginStorage::installed()
{
    return storage.load(std::memory_order_acquire);
}

void MainPresetFolder::install(MainPresetFolder* f)
{
    presetFolder.store(f, std::memory_order_release);
}
MainPresetFolder* MainPresetFolder::installed()
{
    return presetFolder.load(std::memory_order_acquire);
}
