// libFuzzer target for one preset loader, chosen at build time by
// PRESET_LOADER (a presetchecks::Loader), or all of them. Built with clang
// on request only (./dev fuzz preset preset1 preset0 section).
#include "PresetChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!presetchecks::offer({reinterpret_cast<const char*>(data), size}, presetchecks::Loader::PRESET_LOADER).empty())
        __builtin_trap();
    return 0;
}
