#pragma once

#include <span>
#include <string_view>

// The whole ostrand-render command: parses the arguments after the program
// name, renders, reports. Returns the exit status: 0 on success, 2 for wrong
// arguments, an unreadable input or an unwritable output, 130 when
// interrupted. Nothing is left at the output path unless it succeeds.
int runRenderCommand(std::span<const std::string_view> arguments);
