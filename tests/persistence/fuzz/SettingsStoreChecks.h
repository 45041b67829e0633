#pragma once

// What the settings store promises for any bytes it is handed, shared by
// its fuzzer and by the replay of the regression corpus in every test run:
// whatever it reads formats into a file that reads back the same values and
// formats to the same text again.
#include "persistence/SettingsStore.h"

#include <string>
#include <string_view>

namespace settingschecks {

// Empty when every promise holds, else which one broke.
inline std::string check(std::string_view bytes)
{
    const SettingsStore::Values values = SettingsStore::parse(bytes);
    const std::string written = SettingsStore::format(values);
    const SettingsStore::Values again = SettingsStore::parse(written);
    if (again != values)
        return "the values read do not survive being written and read again";
    if (SettingsStore::format(again) != written)
        return "writing the values read back gives another text";
    return {};
}

} // namespace settingschecks
