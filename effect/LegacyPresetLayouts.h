#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class OstrandPlugin;

// The full-preset layouts that earlier releases wrote, defined once, here.
// A legacy file, like a current one, holds nothing but values by position;
// each layout says what position i was:
//
//  - a value a current parameter still takes as it is (`parameter`), or
//  - a value kept aside for the conversion that runs after a successful
//    load (`kept`), because it means something else today or no longer
//    exists.
//
// Every parameter the layout does not set directly starts at its default
// (nothing of the previous sound survives a legacy load); the conversion
// derives today's values from the kept ones.
//
// Version 1 of this generation, "MO2l" version 1, 660 values: today's
// parameters in today's order, with two differences.
//  - There were five envelope generators, not six: EG 6's six parameters
//    are not stored.
//  - Slot sources and targets were numbered without EG 6. Sources: 0 none,
//    1-6 XLFO 1-6, 7-11 EG 1-5, 12-15 EF 1-4, 16-25 MIDI Source 1-10.
//    Targets (one higher than the matrix counts): 1-16 filters, 17-34 XLFOs,
//    35-54 EG 1-5, 55-62 EFs, 63-67 gain, pan and mix, 68-91 slot levels.
//    The conversion moves sources from 12 up by one and targets from 55 up
//    by four, where today's numbering puts them.
//
// The first generation, "MOst" versions 0 and 1: four filters, one LFO and
// one envelope follower wired to the filters' cut-offs by depth knobs, no
// modulation matrix. The four filters come first, in filter order; see
// firstGenerationLayout in the .cpp for the table, and the conversion there
// for what each kept value becomes.

struct LegacyField {
    std::string name;       // the value's name in this table and in preset texts
    int parameter = -1;     // host index of the current parameter that takes it as it is
    bool kept = false;      // kept for the conversion
    std::string options;    // for a kept position: its option names, comma-separated
    float defaultValue = 0; // of a kept value, where a preset text leaves it out
};

struct LegacyLayout {
    std::string magic;
    std::int32_t version = 0;
    std::vector<LegacyField> fields;

    // Position of the field of this name; -1 when there is none.
    int find(std::string_view name) const;
};

// The layouts, with the indices of the parameters of `plugin` (every
// instance has the same; the tables are built once per process).
const LegacyLayout& version1Layout(const OstrandPlugin& plugin);
const LegacyLayout& firstGenerationLayout(const OstrandPlugin& plugin, std::int32_t version);

// After a successful read of `layout` whose values were `kept` (one per
// field; fields the file did not hold read as their parameter's default or
// the field's default): the conversion onto today's parameters, written
// into `values` (one per parameter of `plugin`, in host order, holding what
// the fields set directly and every other parameter's default).
void convertLegacyPreset(const OstrandPlugin& plugin, const LegacyLayout& layout, const std::vector<float>& kept,
                         std::vector<float>& values);

// The bytes of a preset file in a legacy layout, one value per field.
std::string legacyPresetBytes(const LegacyLayout& layout, const std::vector<float>& values);
