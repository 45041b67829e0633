// Every test program runs with HOME and the XDG folders pointing into a
// fresh temporary folder, removed when the program ends: a plug-in instance
// reads and writes the user's settings, installs the factory presets into
// the documents folder and scans the preset folders, and no test may touch
// the real user's files. Tests that need a home of their own still set one
// up (TemporaryHome) on top of this.
#include "TestFiles.h"

namespace {

struct ScratchHome : testsupport::TemporaryHome {
    ScratchHome() { ::setenv("XDG_DATA_DIRS", path("machine-data").c_str(), 1); }
};

const ScratchHome home;

} // namespace
