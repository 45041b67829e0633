#pragma once

#include "effect/LegacyPresetLayouts.h"
#include "persistence/PresetFile.h"

#include <vector>

// Loaders for the full presets of earlier releases (LegacyPresetLayouts.h
// says what each stored position was). Position i sets its field's current
// parameter, when it has one, and is kept for the conversion either way;
// convert() runs the conversion after a successful load.
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
    std::vector<float> values; // one per field, for the conversion
};

// The first product generation ("MOst"), versions 0 and 1.
class V1PresetLoader : public VersionPresetLoader {
public:
    V1PresetLoader(OstrandPlugin& plugin, std::int32_t version);
};

// Loads a full preset of any generation this product wrote, newest first:
// the current layout (version presetFormatVersion(), "MO2l"), version 1 of
// this generation, then the first generation's versions 0 and 1 ("MOst").
// The first that loads wins; a legacy one is converted onto today's
// parameters. False when none loads: the state is then whatever the failed
// attempts left (an attempt only applies values once magic and version
// matched, so that is a file that ended early).
bool loadAnyGeneration(OstrandPlugin& plugin, const PresetSource& source);
