#include "persistence/ProductFolders.h"

#include "persistence/Folders.h"

std::string productFolderName(const ApplicationInfo& info)
{
    std::string name = info.getShortName();
    if (info.majorVersion > 1)
        name += " " + std::to_string(info.majorVersion);
    return name;
}

std::string productDataFolder(const ApplicationInfo& info)
{
    const std::string data = applicationDataFolder();
    if (data.empty())
        return {};
    return data + ApplicationInfo::makerName + "/" + productFolderName(info) + "/";
}
