#pragma once

#include "persistence/PresetFolder.h"

#include <string>
#include <string_view>
#include <vector>

// Told when a preset manager's list changed (after every rescan).
class PresetListener {
public:
    virtual void presetsChanged() = 0;

protected:
    ~PresetListener() = default;
};

// The root of one preset tree (full presets, or one section's) plus the
// additional folders shown beside it (the previous generation's preset
// folder), flattened into one numbered list: the main tree in post-order,
// then each additional folder in the order added. Preset i of that list is
// bank i / 128, program i % 128.
//
// Used on the editor's thread and on the thread that creates instances; not
// locked, never touched by the audio thread.
class PresetManager : public PresetFolder {
public:
    static constexpr std::int64_t scanBudgetMs = 2500;
    // Steps of findByPath.
    enum Step { previous = 0, itself = 1, next = 2 };

    explicit PresetManager(std::string extension, Clock clock = steadyMilliseconds);
    ~PresetManager() override;

    // Points the manager at a folder and rescans.
    void setPath(const std::string& path);
    // Scans the main folder and every additional folder again, then numbers
    // the presets and tells the listeners.
    void rescan();
    // Adds a folder shown under its own name after the main tree, scanned
    // as given.
    void addFolder(const std::string& name, const std::string& path);
    // Each additional folder; its display name is the one given.
    int getAdditionalFolderCount() const { return static_cast<int>(additional.size()); }
    const PresetFolder& getAdditionalFolder(int i) const;

    const std::vector<PresetItem*>& getFlatList() const { return flat; }
    // The first preset in flat order whose name is exactly `name` (case
    // matters); null when none is.
    const PresetItem* findByName(std::string_view name) const;
    // The preset at exactly `path`, or the one before or after it in flat
    // order (wrapping around); null when the path is not in the list.
    const PresetItem* findByPath(std::string_view path, int step) const;
    // The preset at flat index bank * 128 + program; null outside the list.
    const PresetItem* findProgram(int bank, int program) const;

    void addListener(PresetListener* listener);
    void removeListener(PresetListener* listener);

private:
    class AdditionalFolder;
    void number();

    std::string extension;
    Clock clock;
    std::string mainPath;
    std::vector<std::unique_ptr<AdditionalFolder>> additional;
    std::vector<PresetItem*> flat;
    std::vector<PresetListener*> listeners;
};
