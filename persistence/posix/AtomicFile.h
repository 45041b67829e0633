#pragma once

#include <string>
#include <string_view>

// Replaces the file at `path` by one holding `contents`, so that at every
// moment, crashes and power loss included, the file is either the old one or
// the complete new one: the bytes go to a hidden temporary file beside it,
// reach the disk, and are then renamed over the old file. An existing file
// keeps its permissions; a new one is private to the user. False (and the old
// file untouched) when any step fails; the folder must exist.
bool replaceFileAtomically(const std::string& path, std::string_view contents);
