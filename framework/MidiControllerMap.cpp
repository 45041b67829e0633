#include "framework/MidiControllerMap.h"

namespace {
bool validController(int c)
{
    return c >= 0 && c < MidiControllerMap::controllerCount;
}
} // namespace

std::int32_t MidiControllerMap::get(int controller) const
{
    if (!validController(controller))
        return none;
    return entries[static_cast<std::size_t>(controller)].load(std::memory_order_relaxed);
}

void MidiControllerMap::assign(int controller, std::int32_t id)
{
    if (!validController(controller))
        return;
    if (id != none)
        clearParameter(id);
    entries[static_cast<std::size_t>(controller)].store(id, std::memory_order_relaxed);
}

void MidiControllerMap::clear(int controller)
{
    if (validController(controller))
        entries[static_cast<std::size_t>(controller)].store(none, std::memory_order_relaxed);
}

void MidiControllerMap::clearParameter(std::int32_t id)
{
    for (auto& e : entries) {
        std::int32_t expected = id;
        e.compare_exchange_strong(expected, none, std::memory_order_relaxed);
    }
}

void MidiControllerMap::clearAll()
{
    for (auto& e : entries)
        e.store(none, std::memory_order_relaxed);
}

int MidiControllerMap::findController(std::int32_t id) const
{
    if (id == none)
        return -1;
    for (int c = 0; c < controllerCount; ++c)
        if (entries[static_cast<std::size_t>(c)].load(std::memory_order_relaxed) == id)
            return c;
    return -1;
}
