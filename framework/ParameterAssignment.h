#pragma once

#include <string>
#include <string_view>

class GenericPlugin;

// "NAME=VALUE": a parameter's exact name and a value as
// parseParameterValue reads it. Blanks around either part are ignored.
struct ParameterAssignment {
    int index = -1;      // the parameter's host index; -1 when the text is unusable
    float plain = 0.0f;  // its new plain value
    std::string error;   // names what is wrong, with the closest names for an unknown one
    bool ok() const { return index >= 0; }
};

ParameterAssignment parseParameterAssignment(const GenericPlugin& plugin, std::string_view text);

// Parses and, when usable, sets the parameter (as the user would, so the
// change is queued for the audio thread like any other). Returns the parse.
ParameterAssignment applyParameterAssignment(GenericPlugin& plugin, std::string_view text);
