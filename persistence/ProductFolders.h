#pragma once

#include "framework/ApplicationInfo.h"

#include <string>

// The folder names the product files its own data under.

// The short product name, followed by a blank and the major version when
// that is above 1: "Ostrand 2".
std::string productFolderName(const ApplicationInfo& info = ApplicationInfo::shared());

// The product's own data folder, also the folder of its settings files:
// applicationDataFolder() + "Merovance/" + productFolderName() + "/". Read
// from the environment on every call, so a changed $XDG_DATA_HOME counts.
// Empty when no data folder is known.
std::string productDataFolder(const ApplicationInfo& info = ApplicationInfo::shared());
