#include "persistence/BinaryResourceReader.h"

#include "persistence/Resource.h"

#include <sstream>

namespace {

std::unique_ptr<std::istream> streamOver(std::span<const std::uint8_t> bytes)
{
    return std::make_unique<std::istringstream>(
        std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), std::ios::binary);
}

} // namespace

BinaryResourceReader::BinaryResourceReader(const std::string& name) : BinaryDataReader(streamOver(loadResource(name)))
{
}
