#pragma once

#include <string>

// The file of the module that holds this code: the shared object a host
// loaded (the LV2 plug-in inside its bundle), or the program itself when the
// code is linked into one (the renderer, the editor's window). Absolute;
// empty when the system cannot say.
std::string currentModuleFile();
