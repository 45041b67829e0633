#pragma once

#include <string>

// Folder paths use "/" and, once normalised, end with it.

// Makes sure `path` names a folder, creating missing parents first. True when
// the folder exists afterwards (also when another process created it at the
// same moment). A trailing "/" is allowed.
bool ensureFolder(const std::string& path);

// `path` with a "/" at its end; an empty path stays empty.
std::string withTrailingSeparator(const std::string& path);

// The user's home folder from $HOME, with a trailing "/"; empty when unset.
std::string homeFolder();

// The user's documents folder: XDG_DOCUMENTS_DIR from
// $XDG_CONFIG_HOME/user-dirs.dirs when it names one, else $HOME/Documents.
// With a trailing "/"; empty when not even the home folder is known.
std::string documentsFolder();

// Where programs keep the user's data: $XDG_DATA_HOME, else
// $HOME/.local/share. With a trailing "/"; empty when neither is known.
std::string applicationDataFolder();

// Where programs keep the user's settings: $XDG_CONFIG_HOME, else
// $HOME/.config. With a trailing "/"; empty when neither is known.
std::string userConfigFolder();
