#pragma once

#include "framework/Property.h"

#include <string>

class SettingSerializer;

// The user settings shared by every plug-in instance and editor of the
// process. Each switch is a Property<bool> whose owner, when one is attached
// (usually an editor), hears about a change made while settings are loaded.
// Lives as long as the process; the first instance fills it from the user
// store and the last one writes it back.
class GlobalSettings {
public:
    GlobalSettings() = default;
    GlobalSettings(const GlobalSettings&) = delete;
    GlobalSettings& operator=(const GlobalSettings&) = delete;

    // The process-wide object.
    static GlobalSettings& shared();
    // For a second module built from the same sources that works on this
    // module's plug-ins (the editor's LV2 UI): from then on shared() answers
    // with the other module's object, so both share one. Null returns to
    // this module's own.
    static void adopt(GlobalSettings* other);

    std::string helpFileName;
    Property<bool> savePresetItemEnabled{nullptr, false};
    Property<bool> showInteractiveHelp{nullptr, true};
    Property<bool> showWelcomeHint{nullptr, false};
    Property<bool> viewProgramNumbersEnabled{nullptr, false};
};

// Passes the help file name and the four switches through the serializer, in
// the order the settings store has always listed them. The current values act
// as defaults, so a reader that finds nothing leaves them as they are; a
// switch that changes notifies its owner.
void serializeGlobalSettings(GlobalSettings& settings, SettingSerializer& serializer);
