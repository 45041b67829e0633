// Build-time tool: turns the preset texts under resources/presets/ into the
// preset files and packs them into the factory content bundle.
//
//     ostrand-factory-content SOURCE OUTPUT BUNDLE
//
// SOURCE holds the top-level folders of the bundle ("FactoryPresets",
// "ApplicationData"), every preset as "NAME.EXT.txt" (see PresetText.h).
// The built files go to the same places below OUTPUT without ".txt", for
// a look at what ships; BUNDLE receives the packed bundle. The plug-in the
// texts are read with runs without any storage: nothing in the user's
// folders is read or written.
#include "DocumentBundleWriter.h"
#include "PresetText.h"

#include "effect/OstrandPlugin.h"
#include "framework/PluginStorage.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

bool writeFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    const fs::path partial = path.string() + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << bytes;
        if (!out)
            return false;
    }
    std::error_code error;
    fs::rename(partial, path, error);
    return !error;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: " << argv[0] << " SOURCE OUTPUT BUNDLE\n";
        return 2;
    }
    const fs::path source = argv[1];
    const fs::path output = argv[2];
    static PluginStorage inert;
    PluginStorage::install(&inert);
    OstrandPlugin plugin;

    std::vector<BundleFile> files;
    for (const BundleFile& text : bundleFilesBelow(source.string())) {
        if (!text.path.ends_with(".txt"))
            continue;
        const std::string path = text.path.substr(0, text.path.size() - 4);
        try {
            files.push_back({path, buildPresetFile(plugin, fs::path(path).filename().string(), text.content)});
        } catch (const std::exception& e) {
            std::cerr << (source / text.path).string() << ": " << e.what() << "\n";
            return 1;
        }
    }
    std::error_code error;
    fs::remove_all(output, error);
    for (const BundleFile& file : files)
        if (!writeFile(output / file.path, file.content)) {
            std::cerr << "cannot write " << (output / file.path).string() << "\n";
            return 1;
        }
    try {
        if (!writeFile(argv[3], writeDocumentBundle(files))) {
            std::cerr << "cannot write " << argv[3] << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
