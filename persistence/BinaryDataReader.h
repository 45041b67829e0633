#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

// Reads the binary formats of the product: a four-character magic and an
// int32 version, then int32 and float32 fields, all little-endian, without
// padding, on any host. A read past the end puts the stream in its failed
// state and yields 0; callers read a whole structure and then ask ok() once.
class BinaryDataReader {
public:
    explicit BinaryDataReader(std::unique_ptr<std::istream> stream);
    virtual ~BinaryDataReader();
    BinaryDataReader(const BinaryDataReader&) = delete;
    BinaryDataReader& operator=(const BinaryDataReader&) = delete;

    // Reads 4 bytes of magic and the int32 version. The version is stored in
    // `version` even when the magic differs (checking it is the caller's
    // task); true only when both were read and the magic equals the first 4
    // characters of `magic`.
    bool readHeader(std::string_view magic);

    std::int32_t readInt();
    float readFloat();
    // Raw bytes; false on a short read.
    bool readBytes(void* data, std::size_t count);

    // False once any read has failed.
    bool ok() const { return !input->fail(); }
    std::istream& stream() { return *input; }

    // The version read by the last readHeader; -1 before one succeeded.
    std::int32_t version = -1;

private:
    std::unique_ptr<std::istream> input;
};

// A reader over a file; a file that cannot be opened reads as failed.
class BinaryFileReader : public BinaryDataReader {
public:
    explicit BinaryFileReader(const std::string& fileName);
};

// A reader over a copy of bytes held in memory.
class BinaryMemoryReader : public BinaryDataReader {
public:
    explicit BinaryMemoryReader(std::string_view bytes);
};
