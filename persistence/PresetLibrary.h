#pragma once

#include "framework/PluginStorage.h"
#include "persistence/PresetManager.h"

#include <memory>
#include <string>
#include <vector>

// The preset managers every instance of the process shares: one for full
// presets, whose main folder the "PresetFolder" setting names, and one per
// section of the plug-in (filters, one LFO, ...), each over its own folder
// "Component Presets/<name>/" in the product's data folder. Created with
// the first instance, kept for the rest of the process.
//
// Used on the threads that create instances and run editors; not locked.
class PresetLibrary : public MainPresetFolder {
public:
    // Where the factory content lives among the plug-in's resources.
    static constexpr const char* factoryBundleResource = "SetupDocs";
    // The name under which the previous generation's preset folder is shown.
    static constexpr const char* previousGenerationFolderName = "V1 Preset Folder";

    static PresetLibrary& shared();
    // For a second module built from the same sources that works on this
    // module's plug-ins (the editor's LV2 UI): from then on shared() answers
    // with the other module's object, so both share one. Null returns to
    // this module's own.
    static void adopt(PresetLibrary* other);

    // Full presets (".mvp").
    PresetManager& presets() { return *fullPresets; }

    // Registers a section; its index is the order of registration (the
    // plug-in's component kind). Registering a name again returns its index.
    // Touches no folder: prepareSectionFolders does, for the storage.
    int registerSection(const std::string& extension, const std::string& name);
    // Points every section at its folder in the product's data folder,
    // creating it with its parents, and scans it.
    void prepareSectionFolders();
    int getSectionCount() const { return static_cast<int>(sections.size()); }
    // Null for an index that names no section.
    PresetManager* section(int index) const;
    const std::string& getSectionName(int index) const;
    // "Merovance Component Presets (*.xlfo)|*.xlfo|All Files (*.*)|*.*".
    static std::string sectionFileFilter(const std::string& extension);
    // The full presets' filter of the same kind.
    static constexpr const char* presetFileFilter = "Merovance Presets (*.mvp)|*.mvp|All Files (*.*)|*.*";

    // Installs the factory content from the embedded bundle: its
    // "FactoryPresets" into the main preset folder, its "ApplicationData"
    // into the product's data folder, never replacing a file that exists;
    // then rescans. Nothing when the bundle is missing or damaged. Returns
    // the number of files written.
    int installFactoryContent();

    // The host restored a session that names the plug-in's preset: the
    // name becomes the current preset's, with the place of the first full
    // preset of that name (empty when there is none); the editor hears of it.
    void restorePresetName(GenericPlugin& plugin, const std::string& name);

    // Adds the previous generation's preset folder, when it stored one,
    // as an additional folder (once per process).
    void addPreviousGenerationFolder();

    // --- MainPresetFolder ---
    std::string getPath() const override { return mainPath; }
    // The documents folder + "Merovance/<product folder>/".
    std::string getDefaultPath() const override;
    // Points the full presets at a folder and rescans.
    void setPath(const std::string& path) override;

private:
    PresetLibrary();

    struct Section {
        std::string name;
        std::unique_ptr<PresetManager> manager;
    };
    std::unique_ptr<PresetManager> fullPresets;
    std::vector<Section> sections;
    std::string mainPath;
    bool previousGenerationAdded = false;
};
