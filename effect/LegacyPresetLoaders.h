#pragma once

#include "effect/LegacyPresetLayouts.h"
#include "persistence/PresetFile.h"

#include <vector>

// Loaders for the full presets of earlier releases (LegacyPresetLayouts.h
// says what each stored position was). Position i gives its field's current
// parameter, when it has one, its value and is kept for the conversion
// either way; convert() runs the conversion after a successful read, after
// which getValues() holds today's parameters.
class VersionPresetLoader : public CustomPresetLoader {
public:
    // Version 1 of this generation ("MO2l" version 1).
    explicit VersionPresetLoader(OstrandPlugin& plugin);
    void convert();
    const LegacyLayout& getLayout() const { return layout; }

protected:
    VersionPresetLoader(OstrandPlugin& plugin, const LegacyLayout& layout);

private:
    OstrandPlugin& plugin;
    const LegacyLayout& layout;
    std::vector<float> kept; // one per field, for the conversion
};

// The first product generation ("MOst"), versions 0 and 1.
class V1PresetLoader : public VersionPresetLoader {
public:
    V1PresetLoader(OstrandPlugin& plugin, std::int32_t version);
};

// Reads a full preset of any generation this product wrote, newest first:
// the current layout (version presetFormatVersion(), "MO2l"), version 1 of
// this generation, then the first generation's versions 0 and 1 ("MOst").
// The first that reads completely wins; a legacy one is converted onto
// today's parameters. `values` gets one value per parameter of `plugin`
// (host order); nothing is applied. False when no generation reads.
bool readAnyGeneration(OstrandPlugin& plugin, const PresetSource& source, std::vector<float>& values);
// Reads as above and, on success, the parameters take the values (one
// update batch). False when none reads: nothing changes then.
bool loadAnyGeneration(OstrandPlugin& plugin, const PresetSource& source);
