#pragma once

#include <string>

// Where the user manual is. It travels inside the plug-in's bundle, in the
// folder "manual" beside the module, so the plug-in finds the copy that
// belongs to the very build a host loaded. The programs of a build tree
// (bin/) find the manual of the bundle the same build wrote (lv2/), and a
// program anywhere else the manual of an installed bundle on the LV2 search
// path ($LV2_PATH, else ~/.lv2, /usr/local/lib/lv2, /usr/lib/lv2).

// The manual's page, relative to the bundle.
inline constexpr const char* userManualPage = "manual/index.html";
// The bundle's folder name.
inline constexpr const char* pluginBundleName = "ostrand.lv2";

// The folders searched, in order, for a module at `moduleFile`, given the
// LV2 search path and the home folder (either may be empty).
std::string findUserManual(const std::string& moduleFile, const std::string& lv2Path, const std::string& home);

// The manual for the module running this code, from the environment; empty
// when no copy is there. This is the default of the "HelpFileName" setting.
std::string userManualPath();
