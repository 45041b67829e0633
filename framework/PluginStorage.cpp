#include "framework/PluginStorage.h"

#include <atomic>

namespace {
std::atomic<PluginStorage*> storage{nullptr};
std::atomic<MainPresetFolder*> presetFolder{nullptr};
std::atomic<std::uint64_t> programGeneration{0};
} // namespace

void PluginStorage::install(PluginStorage* s)
{
    storage.store(s, std::memory_order_release);
}
PluginStorage* PluginStorage::installed()
{
    return storage.load(std::memory_order_acquire);
}

std::uint64_t PluginStorage::programListGeneration()
{
    return programGeneration.load(std::memory_order_acquire);
}

void PluginStorage::programListChanged()
{
    programGeneration.fetch_add(1, std::memory_order_acq_rel);
}

void MainPresetFolder::install(MainPresetFolder* f)
{
    presetFolder.store(f, std::memory_order_release);
}
MainPresetFolder* MainPresetFolder::installed()
{
    return presetFolder.load(std::memory_order_acquire);
}
