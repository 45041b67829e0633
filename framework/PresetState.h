#pragma once

#include "framework/Property.h"

#include <atomic>
#include <string>

// What the plug-in knows about its current preset: its name, where it came
// from (the file's full path, empty when it does not come from a file) and
// whether any parameter changed since it was loaded or saved. The editor
// becomes the owner of `modified` to hear when the flag changes.
class PresetState {
public:
    std::string name;
    std::string location;
    Property<bool> modified{nullptr, false};

    // Any thread, also the audio thread (a parameter moved by MIDI): raises
    // the flag once; the owner hears it on the thread that raised it.
    void markModified()
    {
        if (!raised.exchange(true, std::memory_order_acq_rel))
            modified.set(true);
    }

    // Editor or control thread.
    void setModified(bool on)
    {
        raised.store(on, std::memory_order_release);
        modified.set(on);
    }
    bool isModified() const { return raised.load(std::memory_order_acquire); }

private:
    // Lets only the first change after a load touch the property, so
    // parameter changes on several threads never write it at once.
    std::atomic<bool> raised{false};
};
