#pragma once

// How the two channels of a stereo instance share the four filters:
// Stereo runs every filter on both channels; Per Channel gives the left
// channel the first half of the filters in use and the right channel the
// second half; Mid/Side does the same on the mid and side signals.
enum class RoutingMode { Stereo = 0, PerChannel = 1, MidSide = 2 };

inline constexpr const char* routingModeOptions = "Stereo,Per Channel,Mid/Side";
