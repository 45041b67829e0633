#pragma once

#include <string>

class GenericPlugin;
class PresetManager;

// Section presets: the parameters of one instance of a component kind of
// the plug-in (all filters, one XLFO, ...) saved and loaded on their own,
// always as version 1 with the plug-in's magic. Component kind k is section
// k of the PresetLibrary.
//
// ComponentPresetHandler ties one section preset button of the editor to
// one component instance; it has no state beyond that, so an editor makes
// one per button.
class ComponentPresetHandler {
public:
    ComponentPresetHandler(GenericPlugin& plugin, int kind, int instance);

    // Loads a section preset into the instance. False (the editor shows the
    // message) when the file is not a section preset of this plug-in.
    bool load(const std::string& path);
    // Writes the instance's values, then rescans the section's folder.
    bool save(const std::string& path);
    // Looks for the preset "Default" in the section's folder (rescanned
    // first, so a file the user just put there counts) and loads it; false
    // when there is none or it does not load. Called when a source of this
    // kind is created.
    bool loadDefault();
    // The section's preset manager; null when the kind is not registered.
    PresetManager* manager() const;
    int getKind() const { return kind; }
    int getInstance() const { return instance; }

private:
    GenericPlugin& plugin;
    int kind;
    int instance;
};

// The text of the one message every failed preset load shows.
inline constexpr const char* presetLoadFailedMessage =
    "The preset file could not be opened. It could be corrupt, from another Merovance plug-in, or it "
    "was written by an incompatible version of this plug-in.";
