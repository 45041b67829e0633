#pragma once

#include "modulation/ModulationMatrix.h"

#include <array>
#include <span>
#include <string>
#include <vector>

// One group of modulation targets that belong to a run of owners with the
// same parameters: the four filters, the six step LFOs, the slot levels.
// Owner n (from 0) has targets firstTarget + n × perOwner + j for j in
// 0..perOwner-1, and target j of each owner is of kind kinds[j].
struct ModulationTargetGroup {
    int firstTarget;
    int owners;
    int perOwner;
    std::array<int, 5> kinds;
    // Owner n is modulation source firstSource + n (so these targets are
    // its own targets); -1 when the owners are not sources.
    int firstSource;
    // Owner n is slot n and these targets carry the slots' levels.
    bool slotLevels;
    // Names in option lists: prefix, owner number, blank, word ("Filter 1
    // Freq"); without a prefix the word alone ("Mix").
    const char* prefix;
    const char* words; // comma-separated, one per target of an owner
};

// How a plug-in lays out its modulation matrix: the target kinds with their
// ranges and depths, which target is of which kind, which targets belong to
// which source, which targets carry slot levels, and the option names the
// slots offer. The standard tables are this product's (26 sources, 95
// targets, 15 kinds); registerTargets takes any table of the same form.
class ModulationLayout {
public:
    // The 15 target kinds, by number.
    static std::vector<ModulationMatrix::TargetKind> standardKinds();
    // Filters 0..15, step LFOs 16..33, envelopes 34..57, followers 58..65,
    // gains, pans and mix 66..70, slot levels 71..94.
    static std::span<const ModulationTargetGroup> standardTargets();

    // Control thread, while building: adds the kinds to the matrix, then
    // registers every target of the groups with its kind, the sources' own
    // targets and the slots' level targets. Kind numbers in the groups index
    // the kinds given here.
    static void registerTargets(ModulationMatrix& matrix, std::span<const ModulationTargetGroup> groups,
                                const std::vector<ModulationMatrix::TargetKind>& kinds);
    // Both standard tables.
    static void registerStandard(ModulationMatrix& matrix);

    // Option names of the slots' Target parameter: "< Target >", then one
    // name per target in target order (targets no group names stay empty).
    static std::vector<std::string> targetNames(std::span<const ModulationTargetGroup> groups,
                                                int targetCount);
    // Option names of the slots' Source parameter: "< Source >", "XLFO 1" ..
    // "XLFO 6", "EG 1" .. "EG 6", "EF 1" .. "EF 4", "MIDI Source 1" ..
    // "MIDI Source 10".
    static std::vector<std::string> sourceNames();
};
