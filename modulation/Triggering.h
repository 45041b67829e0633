#pragma once

// What starts an envelope generator: the level of the main input, the level
// of the side-chain input, or MIDI notes. Positions of the "Triggering"
// parameter ("Normal Input,Side Chain,MIDI").
enum class Triggering {
    NormalInput = 0,
    SideChain = 1,
    Midi = 2,
};

inline constexpr const char* triggeringOptions = "Normal Input,Side Chain,MIDI";
