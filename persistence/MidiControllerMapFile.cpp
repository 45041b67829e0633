#include "persistence/MidiControllerMapFile.h"

#include "framework/MidiControllerMap.h"
#include "persistence/BinaryDataReader.h"
#include "persistence/BinaryDataWriter.h"
#include "persistence/Folders.h"
#include "persistence/ProductFolders.h"
#include "persistence/posix/AtomicFile.h"

#include <array>
#include <sstream>

namespace {
constexpr const char* magic = "MVCM";
constexpr std::int32_t version = 1;
constexpr const char* fileName = "MidiControllerMap.mvm";
} // namespace

std::string midiControllerMapPath()
{
    const std::string folder = productDataFolder();
    return folder.empty() ? std::string() : folder + fileName;
}

bool readMidiControllerMap(const std::string& path, MidiControllerMap& map)
{
    if (path.empty())
        return false;
    BinaryFileReader reader(path);
    if (!reader.readHeader(magic))
        return false;
    // The whole file first: a short one must not leave half a map behind.
    std::array<std::int32_t, MidiControllerMap::controllerCount> ids{};
    for (auto& id : ids)
        id = reader.readInt();
    if (!reader.ok())
        return false;

    map.clearAll();
    for (int c = 0; c < MidiControllerMap::controllerCount; ++c) {
        const std::int32_t id = ids[static_cast<std::size_t>(c)];
        if (id >= 0)
            map.assign(c, id);
    }
    return true;
}

bool writeMidiControllerMap(const std::string& path, const MidiControllerMap& map)
{
    if (path.empty())
        return false;
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !ensureFolder(path.substr(0, slash)))
        return false;

    auto buffer = std::make_unique<std::ostringstream>();
    std::ostringstream& bytes = *buffer;
    BinaryDataWriter writer(std::move(buffer));
    writer.writeHeader(magic, version);
    for (int c = 0; c < MidiControllerMap::controllerCount; ++c)
        writer.writeInt(map.get(c));
    if (!writer.flush())
        return false;
    return replaceFileAtomically(path, bytes.str());
}
