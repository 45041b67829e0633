// Every test program runs with HOME and the XDG folders pointing into a
// fresh temporary folder, removed when the program ends: a plug-in instance
// reads and writes the user's settings, installs the factory presets into
// the documents folder and scans the preset folders, and no test may touch
// the real user's files. Tests that need a home of their own still set one
// up (TemporaryHome, the renderer's scratch folders) on top of this.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class ScratchHome {
public:
    ScratchHome()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ostrand-test-home-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        root = pattern;
        ::setenv("HOME", (root / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_DIRS", (root / "machine").c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (root / "machine-data").c_str(), 1);
        std::filesystem::create_directories(root / "home");
    }
    ~ScratchHome()
    {
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }

private:
    std::filesystem::path root;
};

const ScratchHome home;

} // namespace
