#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

// Writes the binary formats that BinaryDataReader reads: a four-character
// magic and an int32 version, then int32 and float32 fields, little-endian,
// without padding. Callers write a whole structure and then ask ok() once.
class BinaryDataWriter {
public:
    explicit BinaryDataWriter(std::unique_ptr<std::ostream> stream);
    virtual ~BinaryDataWriter();
    BinaryDataWriter(const BinaryDataWriter&) = delete;
    BinaryDataWriter& operator=(const BinaryDataWriter&) = delete;

    // The first 4 characters of `magic` (padded with zero bytes when
    // shorter), then the version.
    void writeHeader(std::string_view magic, std::int32_t version);

    void writeInt(std::int32_t value);
    void writeFloat(float value);
    void writeBytes(const void* data, std::size_t count);

    // Pushes buffered bytes out; false once any write has failed.
    bool flush();
    bool ok() const { return !output->fail(); }
    std::ostream& stream() { return *output; }

private:
    std::unique_ptr<std::ostream> output;
};

// A writer to a file, created or truncated; a file that cannot be opened
// writes as failed.
class BinaryFileWriter : public BinaryDataWriter {
public:
    explicit BinaryFileWriter(const std::string& fileName);
};
