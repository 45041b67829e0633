#pragma once

#include <string>
#include <vector>

// A setting that shows what the effect does, as "NAME=VALUE" assignments
// (see parseParameterAssignment): three filters of different character in
// a serial-and-parallel routing, a tempo-synchronized step LFO sweeping the
// first filter's cut-off, and an envelope that the drums trigger opening
// the third one. The renderer plays its demo pattern through it.
const std::vector<std::string>& ostrandDemoSetting();
