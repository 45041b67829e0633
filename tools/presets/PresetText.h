#pragma once

#include <string>

class OstrandPlugin;

// Preset files from the readable text they are written in under
// resources/presets/. One assignment a line, "NAME = VALUE", as the
// renderer's --set takes it: a parameter's exact name (see
// ostrand-render --list-parameters) and an option as shown, a plain value,
// or a number with the unit shown ("Filter 1 Freq = 700 Hz"). Blank lines
// and lines starting with "#" are ignored. Every parameter not named keeps
// its default; lines apply in order.
//
//  - "NAME.mvp": a full preset in today's layout.
//  - "NAME.filters", ".xlfo", ".eg", ".ef", ".midi", ".slots": a section
//    preset; the names are those of the section's first instance ("XLFO 1
//    Sync Mode", "EG 1 Attack") and may not reach outside it.
//  - A full preset of an earlier release starts with "Layout = MO2l 1",
//    "Layout = MOst 0" or "Layout = MOst 1"; its names are the layout's
//    field names (effect/LegacyPresetLayouts), its values an option of the
//    field, a plain number, or for a field a current parameter takes as it
//    is, anything that parameter takes.
//
// `fileName` is the preset's file name with its extension ("Acid.mvp").
// Returns the file's bytes; throws std::runtime_error naming the line that
// is wrong.
std::string buildPresetFile(OstrandPlugin& plugin, const std::string& fileName, const std::string& text);
