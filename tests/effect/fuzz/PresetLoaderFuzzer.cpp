// libFuzzer target for the preset loaders of every generation and for
// section presets. Built with clang on request only (./dev fuzz preset).
#include "PresetChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!presetchecks::offer({reinterpret_cast<const char*>(data), size}).empty())
        __builtin_trap();
    return 0;
}
