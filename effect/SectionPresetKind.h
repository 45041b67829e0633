#pragma once

#include <array>

// The kinds of section preset: the settings of one component instance
// (the filters, one XLFO, one EG, one EF, one MIDI source, or the slots)
// saved on their own, with the file extension and the folder name each
// kind uses. Component kind k of the plug-in is entry k.
struct SectionPresetKind {
    int componentKind;
    const char* extension;
    const char* folder;
};

inline constexpr std::array<SectionPresetKind, 6> sectionPresetKinds{{
    {0, ".filters", "Filters"},
    {1, ".xlfo", "XLFO"},
    {2, ".eg", "EG"},
    {3, ".ef", "EF"},
    {4, ".midi", "MIDI"},
    {5, ".slots", "Slots"},
}};
