#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// What the plug-in says about itself wherever a product name or version
// shows up: store key paths, folder names, the host's plug-in list.
class ApplicationInfo {
public:
    static constexpr const char* makerName = "Merovance";
    static constexpr std::int32_t currentMajorVersion = 2;

    explicit ApplicationInfo(const std::string& name = "Ostrand") { setShortName(name); }

    // The process-wide object; the plug-in sets its short name when it
    // initialises the framework.
    static ApplicationInfo& shared()
    {
        if (ApplicationInfo* other = adoptedInfo().load(std::memory_order_acquire))
            return *other;
        static ApplicationInfo info;
        return info;
    }
    // For a second module built from the same sources that works on this
    // module's plug-ins (the editor's LV2 UI): from then on shared() answers
    // with the other module's object, so both share one. Null returns to
    // this module's own.
    static void adopt(ApplicationInfo* other) { adoptedInfo().store(other, std::memory_order_release); }

    void setShortName(const std::string& name)
    {
        shortName = name;
        fullName = std::string(makerName) + " " + name;
    }
    const std::string& getShortName() const { return shortName; }
    // Maker and short name, "Merovance Ostrand".
    const std::string& getFullName() const { return fullName; }

    std::int32_t majorVersion = currentMajorVersion;
    // Whether values written by an installer are read from the machine-wide
    // store (the help file name).
    bool readMachineSettings = true;

private:
    static std::atomic<ApplicationInfo*>& adoptedInfo()
    {
        static std::atomic<ApplicationInfo*> other{nullptr};
        return other;
    }

    std::string shortName;
    std::string fullName;
};
