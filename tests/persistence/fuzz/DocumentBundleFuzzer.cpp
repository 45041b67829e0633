// libFuzzer target for the document bundle reader (./dev fuzz bundle).
#include "BundleChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (bundlechecks::offer({data, size}) < 0)
        __builtin_trap();
    return 0;
}
