#include "persistence/BinaryDataReader.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <sstream>

BinaryDataReader::BinaryDataReader(std::unique_ptr<std::istream> stream) : input(std::move(stream)) {}

BinaryDataReader::~BinaryDataReader() = default;

bool BinaryDataReader::readHeader(std::string_view magic)
{
    char found[4];
    bool magicRead = readBytes(found, sizeof found);
    std::int32_t readVersion = readInt();
    if (!ok() || !magicRead)
        return false;
    version = readVersion;
    return magic.size() >= 4 && std::memcmp(found, magic.data(), 4) == 0;
}

bool BinaryDataReader::readBytes(void* data, std::size_t count)
{
    input->read(static_cast<char*>(data), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(input->gcount()) == count && !input->fail();
}

std::int32_t BinaryDataReader::readInt()
{
    unsigned char b[4];
    if (!readBytes(b, 4))
        return 0;
    std::uint32_t bits = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
                         std::uint32_t(b[3]) << 24;
    return static_cast<std::int32_t>(bits);
}

float BinaryDataReader::readFloat()
{
    return std::bit_cast<float>(static_cast<std::uint32_t>(readInt()));
}

BinaryFileReader::BinaryFileReader(const std::string& fileName)
    : BinaryDataReader(std::make_unique<std::ifstream>(fileName, std::ios::binary))
{
}

BinaryMemoryReader::BinaryMemoryReader(std::string_view bytes)
    : BinaryDataReader(std::make_unique<std::istringstream>(std::string(bytes), std::ios::binary))
{
}
