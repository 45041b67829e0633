#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// What the command line asked the renderer to do.
struct RenderOptions {
    std::string input; // empty: render the built-in demo
    std::string output = "out.wav";
    bool outputGiven = false;   // OUTPUT or -o named one
    int blockSize = 512;  // samples per call into the plug-in
    std::string midiFile; // empty: no MIDI
    double tempo = 120.0; // beats per minute, unless the MIDI file has a tempo map
    bool tempoGiven = false;
    std::string sideChain;             // empty: the main input stands in
    std::vector<std::string> settings; // "NAME=VALUE", applied in order before processing
    std::string preset;                // loaded before the --set options; empty: none
    std::string savePreset;            // the state after --preset and --set is written here
    bool listParameters = false;       // print the parameters instead of rendering
    bool listPresets = false;          // print the preset list instead of rendering
    bool quiet = false;
    bool help = false;

    static constexpr int maxBlockSize = 1 << 20;
    static constexpr double minTempo = 1.0;
    static constexpr double maxTempo = 1000.0;
};

struct ParsedArguments {
    RenderOptions options;
    std::string error; // empty when the arguments were understood
};

// Parses the arguments after the program name:
//   [--block N] [--midi FILE] [--tempo BPM] [--sidechain FILE] [--set NAME=VALUE]...
//   [--preset FILE|NAME] [--save-preset FILE] [--list-parameters] [--list-presets]
//   [-o FILE] [--quiet] [--help] [INPUT] [OUTPUT]
ParsedArguments parseRenderArguments(std::span<const std::string_view> arguments);

// The text printed for --help.
std::string renderUsage();
// The line after it that says where the user manual is (`manualPath`, empty
// when no copy was found).
std::string userManualNote(const std::string& manualPath);
