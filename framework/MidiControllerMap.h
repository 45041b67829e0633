#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// Which parameter each MIDI controller moves, shared by every instance of the
// plug-in in the process. One entry per controller 0..126, each a parameter
// id or -1: a parameter index of the flat list, or 0x100000 + n for the n-th
// MIDI-only virtual parameter. An id occurs at most once.
//
// Entries are single 32-bit words: the audio thread reads and learns them
// while the editor clears them, with no lock.
class MidiControllerMap {
public:
    static constexpr int controllerCount = 127;
    static constexpr std::int32_t none = -1;

    MidiControllerMap() { clearAll(); }
    MidiControllerMap(const MidiControllerMap&) = delete;
    MidiControllerMap& operator=(const MidiControllerMap&) = delete;

    // The parameter id of a controller, -1 for none or a controller outside 0..126.
    std::int32_t get(int controller) const;
    // Ties controller to id; a controller that held id before lets go of it.
    // A controller outside 0..126 is ignored.
    void assign(int controller, std::int32_t id);
    // Unties a controller.
    void clear(int controller);
    // Unties whatever controller moves id.
    void clearParameter(std::int32_t id);
    void clearAll();
    // Unties every controller whose id `keep` rejects.
    template <class Predicate>
    void clearUnless(Predicate keep)
    {
        for (auto& e : entries) {
            const std::int32_t id = e.load(std::memory_order_relaxed);
            if (id != none && !keep(id))
                e.store(none, std::memory_order_relaxed);
        }
    }
    // The controller that moves id, or -1.
    int findController(std::int32_t id) const;

private:
    std::array<std::atomic<std::int32_t>, controllerCount> entries;
};
