#include "persistence/BinaryDataWriter.h"

#include <bit>
#include <fstream>

BinaryDataWriter::BinaryDataWriter(std::unique_ptr<std::ostream> stream) : output(std::move(stream)) {}

BinaryDataWriter::~BinaryDataWriter() = default;

void BinaryDataWriter::writeHeader(std::string_view magic, std::int32_t version)
{
    char bytes[4] = {};
    for (std::size_t i = 0; i < 4 && i < magic.size(); ++i)
        bytes[i] = magic[i];
    writeBytes(bytes, 4);
    writeInt(version);
}

void BinaryDataWriter::writeInt(std::int32_t value)
{
    auto bits = static_cast<std::uint32_t>(value);
    unsigned char b[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                          static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
    writeBytes(b, 4);
}

void BinaryDataWriter::writeFloat(float value)
{
    writeInt(static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(value)));
}

void BinaryDataWriter::writeBytes(const void* data, std::size_t count)
{
    output->write(static_cast<const char*>(data), static_cast<std::streamsize>(count));
}

bool BinaryDataWriter::flush()
{
    output->flush();
    return ok();
}

BinaryFileWriter::BinaryFileWriter(const std::string& fileName)
    : BinaryDataWriter(std::make_unique<std::ofstream>(fileName, std::ios::binary | std::ios::trunc))
{
}
