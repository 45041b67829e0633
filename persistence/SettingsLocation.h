#pragma once

#include <cstdint>
#include <string>

// Where settings stores live. A key path in the registry style,
// "Software\Merovance\Ostrand\2.0", names one store file below a root
// folder: the components become folders, the last one the file name with
// ".settings" added, and a leading "Software" is dropped (every root is a
// software configuration folder already). So the user settings of this
// release are in
//
//     $XDG_CONFIG_HOME/Merovance/Ostrand/2.0.settings   (~/.config/...)
//
// and values written by an installer in /etc/xdg/Merovance/Ostrand/2.0.settings.

enum class RegistryRoot {
    currentUser,  // $XDG_CONFIG_HOME, else $HOME/.config
    localMachine, // each folder of $XDG_CONFIG_DIRS in turn, else /etc/xdg
};

// "Software\Merovance\<product>\<major>.0".
std::string settingsKeyPath(const std::string& productName, std::int32_t majorVersion);

// The store file of a key path relative to a root, "Merovance/Ostrand/2.0.settings";
// empty for a key path that names no file (no components, or "." or ".."
// among them).
std::string settingsStoreName(const std::string& keyPath);

// The store file to read for a key: for the user root, the file below the
// user's configuration folder; for the machine root, the first existing file
// along the search folders. Empty when there is none to read.
std::string settingsStoreFile(RegistryRoot root, const std::string& keyPath);
