#pragma once

#include "framework/CriticalSection.h"
#include "framework/Property.h"

#include <atomic>
#include <string>

// What the plug-in knows about its current preset: its name, where it came
// from (the file's full path, empty when it does not come from a file) and
// whether any parameter changed since it was loaded or saved. The editor
// becomes the owner of `modified` to hear when the flag changes.
//
// The name and place are read by the editor and the host's state calls
// while a worker thread may announce a program switch: they are copied in
// and out under their own lock, never handed out by reference. No audio
// thread touches them.
//
// The flag itself is an atomic that any thread may raise, the audio thread
// too (a parameter moved by MIDI); isModified reads it. The property
// `modified` follows it, but only off the audio thread: publish brings it
// up to the flag and tells its owner, and may run on several threads at
// once without two of them writing the property together.
class PresetState {
public:
    Property<bool> modified{nullptr, false};

    std::string getName() const
    {
        CriticalSection::Lock lock(*placeSection);
        return name;
    }
    std::string getLocation() const
    {
        CriticalSection::Lock lock(*placeSection);
        return location;
    }
    // Into strings the caller keeps: their storage is reused, so a snapshot
    // taken again and again (the undo ring) allocates nothing once filled.
    void copyPlace(std::string& nameOut, std::string& locationOut) const
    {
        CriticalSection::Lock lock(*placeSection);
        nameOut = name;
        locationOut = location;
    }
    void setName(const std::string& newName)
    {
        CriticalSection::Lock lock(*placeSection);
        name = newName;
    }
    // Both at once, so no reader sees a name beside another preset's place.
    // True when either changed.
    bool setPlace(const std::string& newName, const std::string& newLocation)
    {
        CriticalSection::Lock lock(*placeSection);
        const bool changed = name != newName || location != newLocation;
        name = newName;
        location = newLocation;
        return changed;
    }

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
    std::unique_ptr<CriticalSection> placeSection = CriticalSection::create();
    std::string name;
    std::string location;
    std::atomic<bool> raised{false};
    std::atomic<bool> requested{false};
    std::atomic_flag publishing;
};
