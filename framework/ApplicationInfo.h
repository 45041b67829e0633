#pragma once

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
        static ApplicationInfo info;
        return info;
    }

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
    std::string shortName;
    std::string fullName;
};
