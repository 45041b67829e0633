#pragma once

#include <cstdint>
#include <istream>
#include <span>
#include <streambuf>

namespace gui {

// An input stream over bytes that stay where they are (a resource compiled
// into the module), with seeking, so decoders can read images without a copy.
class MemoryStream : public std::istream {
public:
    explicit MemoryStream(std::span<const std::uint8_t> bytes);

private:
    class Buffer : public std::streambuf {
    public:
        explicit Buffer(std::span<const std::uint8_t> bytes);

    private:
        pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
        pos_type seekpos(pos_type position, std::ios_base::openmode which) override;
    };
    Buffer buffer;
};

} // namespace gui
