#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class GenericPlugin;
class MidiControllerMap;
struct ProgramTable;

// Everything the plug-in core keeps on disk goes through this interface,
// which the persistence layer implements and installs once per process.
// With nothing installed each operation does nothing (and the loads report
// failure), so the core runs without any files, as tests and the offline
// renderer want. All calls come from control or editor threads, never from
// the audio thread.
class PluginStorage {
public:
    virtual ~PluginStorage() = default;

    // The first instance of the process has been set up: read the user
    // settings (GenericPlugin::serializeSettings with a reading serializer),
    // prepare the preset folders.
    virtual void readUserSettings(GenericPlugin&) {}
    // The last instance is going away: write the user settings back.
    virtual void writeUserSettings(GenericPlugin&) {}

    // Reads a full preset file completely into one value per parameter of
    // the plug-in (host order) without applying any; false when the file is
    // refused, and `values` then means nothing.
    virtual bool readPreset(GenericPlugin&, const std::string& /*path*/, std::vector<float>& /*values*/)
    {
        return false;
    }
    // Writes all parameters to a full preset file. True on success.
    virtual bool savePreset(GenericPlugin&, const std::string& /*path*/) { return false; }
    // Every full preset a MIDI program change can select, read for this
    // plug-in's parameters (through GenericPlugin::readPreset). Plug-ins
    // with the same parameters share one table; a table is read again only
    // when the preset list changed. Null without presets.
    virtual std::shared_ptr<const ProgramTable> programTable(GenericPlugin&) { return nullptr; }

    virtual void loadMidiControllerMap(MidiControllerMap&) {}
    virtual void saveMidiControllerMap(const MidiControllerMap&) {}

    // Installs the process-wide storage (null removes it). The caller keeps
    // ownership and keeps it alive while plug-ins exist.
    static void install(PluginStorage* storage);
    static PluginStorage* installed();

    // Any thread, audio thread too: the generation of the list of presets a
    // program change selects, raised by the storage whenever it changes, so
    // that a plug-in sees that its table is out of date.
    static std::uint64_t programListGeneration();
    static void programListChanged();
};

// The main preset folder of the preset manager, as far as the settings see
// it: "PresetFolder" is read into and written from it. Installed by the layer
// that owns the preset manager; without one the setting is left untouched.
class MainPresetFolder {
public:
    virtual ~MainPresetFolder() = default;
    virtual std::string getPath() const = 0;
    // Where presets go when the user never chose a folder.
    virtual std::string getDefaultPath() const = 0;
    // Points the manager at a folder and rescans it.
    virtual void setPath(const std::string& path) = 0;

    static void install(MainPresetFolder* folder);
    static MainPresetFolder* installed();
};
