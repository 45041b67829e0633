// ostrand-lv2-turtle BUNDLE_DIR: writes the bundle's Turtle files, at build
// time, from the effect's own group and a plug-in object.
#include "framework/GenericPlugin.h"
#include "framework/PluginStorage.h"
#include "host/lv2/Lv2EffectGroup.h"
#include "host/lv2/Lv2PluginGroup.h"
#include "host/lv2/Lv2Turtle.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

namespace {

bool writeFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (file)
        return true;
    std::fprintf(stderr, "ostrand-lv2-turtle: cannot write '%s'\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ostrand-lv2-turtle BUNDLE_DIR\n");
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    // A build reads and writes none of the user's files.
    static PluginStorage noFiles;
    PluginStorage::install(&noFiles);
    try {
        const Lv2PluginGroup& group = effectPluginGroup();
        if (!writeFile(dir + "manifest.ttl", lv2ManifestTurtle(group, "ostrand.so", "ostrand")))
            return 1;
        for (const Lv2PluginGroup::EffectType& type : group.getTypes()) {
            const auto plugin = group.createPlugin(type, 48000.0f);
            if (!writeFile(dir + lv2DescriptionFile(type, "ostrand"), lv2PluginTurtle(group, type, *plugin)))
                return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ostrand-lv2-turtle: %s\n", e.what());
        return 1;
    }
}
