#pragma once

#include <string>

class GenericPlugin;
class MidiControllerMap;

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

    // A full preset file into / from all parameters. True on success.
    virtual bool loadPreset(GenericPlugin&, const std::string& /*path*/) { return false; }
    virtual bool savePreset(GenericPlugin&, const std::string& /*path*/) { return false; }
    // The preset a MIDI bank and program select; true when one was loaded.
    virtual bool loadProgram(GenericPlugin&, int /*bank*/, int /*program*/) { return false; }

    virtual void loadMidiControllerMap(MidiControllerMap&) {}
    virtual void saveMidiControllerMap(const MidiControllerMap&) {}

    // Installs the process-wide storage (null removes it). The caller keeps
    // ownership and keeps it alive while plug-ins exist.
    static void install(PluginStorage* storage);
    static PluginStorage* installed();
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
