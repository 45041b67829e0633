#pragma once

#include "framework/Property.h"

#include <atomic>
#include <string>

// What the plug-in knows about its current preset: its name, where it came
// from (the file's full path, empty when it does not come from a file) and
// whether any parameter changed since it was loaded or saved. The editor
// becomes the owner of `modified` to hear when the flag changes.
//
// The flag itself is an atomic that any thread may raise, the audio thread
// too (a parameter moved by MIDI); isModified reads it. The property
// `modified` follows it, but only off the audio thread: publish brings it
// up to the flag and tells its owner, and may run on several threads at
// once without two of them writing the property together.
class PresetState {
public:
    std::string name;
    std::string location;
    Property<bool> modified{nullptr, false};

    // Any thread: raises the flag; true when this call raised it. Does not
    // touch the property (see publish).
    bool markModified() { return !raised.exchange(true, std::memory_order_acq_rel); }

    // Any thread: lowers the flag, without touching the property.
    void clearFlag() { raised.store(false, std::memory_order_seq_cst); }

    // Off the audio thread: sets the flag and publishes it.
    void setModified(bool on)
    {
        raised.store(on, std::memory_order_seq_cst);
        publish();
    }
    bool isModified() const { return raised.load(std::memory_order_acquire); }

    // Off the audio thread: `modified` takes the flag's value (its owner
    // hears of a change). A thread that finds another one publishing leaves
    // its request behind, which that thread takes up before it leaves.
    void publish()
    {
        requested.store(true, std::memory_order_seq_cst);
        while (requested.load(std::memory_order_seq_cst) && !publishing.test_and_set(std::memory_order_seq_cst)) {
            requested.store(false, std::memory_order_seq_cst);
            modified.set(raised.load(std::memory_order_seq_cst));
            publishing.clear(std::memory_order_seq_cst);
        }
    }

private:
    std::atomic<bool> raised{false};
    std::atomic<bool> requested{false};
    std::atomic_flag publishing;
};
