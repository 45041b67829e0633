// libFuzzer target for the MIDI controller map file's reader. Built with
// clang on request only (./dev fuzz controllers).
#include "ControllerMapChecks.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string scratch =
        (std::filesystem::temp_directory_path() / ("ostrand-map-fuzz-" + std::to_string(::getpid()) + ".mvm")).string();
    if (!controllermapchecks::check({reinterpret_cast<const char*>(data), size}, scratch).empty())
        __builtin_trap();
    return 0;
}
