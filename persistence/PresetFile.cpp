#include "persistence/PresetFile.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/GenericPlugin.h"
#include "persistence/BinaryDataReader.h"
#include "persistence/BinaryDataWriter.h"
#include "persistence/posix/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <sstream>

namespace {

std::atomic<std::int32_t> formatVersion{1};

} // namespace

std::int32_t presetFormatVersion()
{
    return formatVersion.load(std::memory_order_relaxed);
}

void setPresetFormatVersion(std::int32_t version)
{
    formatVersion.store(version, std::memory_order_relaxed);
}

std::string presetFileBytes(const PresetParameters& collection, std::int32_t version)
{
    auto stream = std::make_unique<std::ostringstream>(std::ios::binary);
    std::ostringstream& bytes = *stream;
    BinaryDataWriter writer(std::move(stream));
    writer.writeHeader(collection.plugin.presetMagic(), version);
    writer.writeInt(static_cast<std::int32_t>(collection.parameters.size()));
    for (const AbstractPluginParameter* p : collection.parameters)
        writer.writeFloat(p->getValue());
    writer.flush();
    return bytes.str();
}

bool savePresetFile(const std::string& fileName, const PresetParameters& collection, std::int32_t version)
{
    return replaceFileAtomically(fileName, presetFileBytes(collection, version));
}

bool readPreset(BinaryDataReader& reader, PresetLoader& loader, GenericPlugin& plugin,
                std::int32_t expectedVersion, std::string_view magicOverride)
{
    const std::string magic = magicOverride.empty() ? plugin.presetMagic() : std::string(magicOverride);
    if (!reader.readHeader(magic) || reader.version != expectedVersion)
        return false;
    const int m = loader.valueCount();
    const std::int32_t n = reader.readInt();
    if (!reader.ok())
        return false;
    const int k = std::clamp(n, 0, m);
    for (int i = 0; i < k && reader.ok(); ++i)
        loader.setLoadedValue(i, reader.readFloat());
    for (int i = k; i < m; ++i)
        loader.resetToDefault(i);
    return reader.ok();
}

bool readPresetFile(const std::string& fileName, PresetLoader& loader, GenericPlugin& plugin,
                    std::int32_t expectedVersion, std::string_view magicOverride)
{
    BinaryFileReader reader(fileName);
    return readPreset(reader, loader, plugin, expectedVersion, magicOverride);
}

bool loadPreset(BinaryDataReader& reader, PresetLoader& loader, GenericPlugin& plugin,
                std::int32_t expectedVersion, std::string_view magicOverride)
{
    if (!readPreset(reader, loader, plugin, expectedVersion, magicOverride))
        return false;
    loader.apply();
    return true;
}

bool loadPresetFile(const std::string& fileName, PresetLoader& loader, GenericPlugin& plugin,
                    std::int32_t expectedVersion, std::string_view magicOverride)
{
    BinaryFileReader reader(fileName);
    return loadPreset(reader, loader, plugin, expectedVersion, magicOverride);
}

PresetSource presetFileSource(const std::string& fileName)
{
    return [fileName] { return std::make_unique<BinaryFileReader>(fileName); };
}

PresetSource presetBytesSource(std::string bytes)
{
    return [bytes = std::move(bytes)] { return std::make_unique<BinaryMemoryReader>(bytes); };
}
