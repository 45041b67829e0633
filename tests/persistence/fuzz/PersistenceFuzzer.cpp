// libFuzzer targets for the readers of the files in a user's folders, one
// reader per build chosen by a definition (./dev fuzz bundle settings controllers).
#include "BundleChecks.h"
#include "ControllerMapChecks.h"
#include "SettingsStoreChecks.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    [[maybe_unused]] const std::string_view bytes(reinterpret_cast<const char*>(data), size);
#if defined(OSTRAND_FUZZ_BUNDLE)
    const bool broken = bundlechecks::offer({data, size}) < 0;
#elif defined(OSTRAND_FUZZ_SETTINGS)
    const bool broken = !settingschecks::check(bytes).empty();
#else
    static const std::string scratch =
        (std::filesystem::temp_directory_path() / ("ostrand-map-fuzz-" + std::to_string(::getpid()) + ".mvm")).string();
    const bool broken = !controllermapchecks::check(bytes, scratch).empty();
#endif
    if (broken)
        __builtin_trap();
    return 0;
}
