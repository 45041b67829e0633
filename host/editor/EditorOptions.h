#pragma once

#include <string>
#include <string_view>
#include <vector>

// The command line of ostrand-editor.
struct EditorOptions {
    std::string snapshot;             // the PNG to write; empty opens a window
    std::string preset;               // a preset file, or a factory preset's name
    std::vector<std::string> settings; // "NAME=VALUE", applied after the preset
    int scale = 0;                    // 1 or 2; 0 asks the display (window) or 1 (snapshot)
    int activeFilter = 1;             // the filter whose panel is shown, 1..4
    bool help = false;
    std::string error;                // why the command line is unusable
};

EditorOptions parseEditorOptions(const std::vector<std::string_view>& arguments);

inline constexpr const char* editorUsage =
    "usage: ostrand-editor [--snapshot FILE.png] [--preset NAME|FILE] [--set NAME=VALUE]...\n"
    "                      [--filter N] [--scale 1|2]\n"
    "\n"
    "Shows the effect's editor in a window, or with --snapshot renders it to a PNG\n"
    "file without a display. --preset takes a preset file or the name of a factory\n"
    "preset; --set takes a parameter's exact name and a value as the renderer's\n"
    "--set does (\"Filter 1 Freq=1 kHz\"), applied after the preset; --filter shows\n"
    "filter N's panel.\n";
