#pragma once

#include <cstddef>
#include <vector>

class AbstractPluginParameter;
class GenericPlugin;

// The parameters a preset file holds, in the order it holds them: the
// plug-in's whole flat list (a full preset) or one component instance (a
// section preset), with the plug-in they belong to.
struct PresetParameters {
    GenericPlugin& plugin;
    std::vector<AbstractPluginParameter*> parameters;

    // Every parameter of the plug-in, in host order.
    static PresetParameters all(GenericPlugin& plugin);
    // The parameters of one instance of a component kind (the section
    // presets' grouping); empty when the plug-in has no such instance.
    static PresetParameters component(GenericPlugin& plugin, int kind, int instance);
};

// Where the values read from a preset file go. A file names nothing but
// positions: value i of the file is handed to setLoadedValue(i, ...), and
// positions the file does not hold get resetToDefault(i). A loader only
// collects the values; apply() hands them to the parameters once the whole
// file has been read, so a file refused halfway changes nothing.
class PresetLoader {
public:
    virtual ~PresetLoader() = default;
    // How many positions the loader accepts; a file's values beyond it are
    // ignored.
    virtual int valueCount() const = 0;
    virtual void resetToDefault(int i) = 0;
    virtual void setLoadedValue(int i, float value) = 0;
    // The parameters take the values read, in one update batch.
    virtual void apply() = 0;
};

// Position i is parameter i of a collection (the current layout of the
// plug-in or of a section). Values are taken as the user would set them:
// enumerations rounded to the nearest position, and clamped into range
// when they are applied. A value that is not a number gives the parameter
// its default, so a damaged file never leaves a value that depends on what
// was loaded before it.
class CollectionPresetLoader : public PresetLoader {
public:
    explicit CollectionPresetLoader(const PresetParameters& collection);
    int valueCount() const override;
    void resetToDefault(int i) override;
    void setLoadedValue(int i, float value) override;
    void apply() override;
    // One value per parameter of the collection, in its order.
    const std::vector<float>& getValues() const { return values; }

private:
    GenericPlugin& plugin;
    std::vector<AbstractPluginParameter*> parameters;
    std::vector<float> values;
};

// A layout that is not the current one: an ordered list of entries, each
// with an optional parameter that takes the value as it is and an optional
// scratch float that keeps it for a conversion run after the load. The
// values collected are the plug-in's whole flat list, every parameter no
// entry sets at its default.
class CustomPresetLoader : public PresetLoader {
public:
    struct Entry {
        AbstractPluginParameter* parameter = nullptr;
        float* scratch = nullptr;
    };

    explicit CustomPresetLoader(GenericPlugin& plugin);
    int valueCount() const override { return static_cast<int>(entries.size()); }
    void resetToDefault(int i) override;
    void setLoadedValue(int i, float value) override;
    void apply() override;
    // One value per parameter of the plug-in, in host order.
    const std::vector<float>& getValues() const { return values; }

protected:
    void addEntry(AbstractPluginParameter* parameter, float* scratch);
    const std::vector<Entry>& getEntries() const { return entries; }
    std::vector<float>& valuesToConvert() { return values; }

private:
    GenericPlugin& plugin;
    std::vector<Entry> entries;
    std::vector<float> values;
};
