// libFuzzer target for the settings store's reader. Built with clang on
// request only (./dev fuzz settings).
#include "SettingsStoreChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!settingschecks::check({reinterpret_cast<const char*>(data), size}).empty())
        __builtin_trap();
    return 0;
}
