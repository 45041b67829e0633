#pragma once

#include <string>
#include <string_view>
#include <vector>

class GenericPlugin;

// Finding parameters by the names people type (on a command line, in a
// host's state file). Names match exactly; for a name that matches nothing
// the closest existing names are offered, so a typo gets a useful answer.

// Number of single-character insertions, deletions and substitutions that
// turn a into b, ignoring letter case.
int nameDistance(std::string_view a, std::string_view b);

// Up to count parameter names closest to name by nameDistance, closest
// first (equally close ones in parameter order). Names further away than
// half the length of the longer of the two are left out, so a name that
// resembles nothing gets no suggestions.
std::vector<std::string> closestParameterNames(const GenericPlugin& plugin, std::string_view name,
                                               int count = 3);
