#include "gui/MemoryStream.h"

namespace gui {

MemoryStream::MemoryStream(std::span<const std::uint8_t> bytes) : std::istream(nullptr), buffer(bytes)
{
    rdbuf(&buffer);
}

MemoryStream::Buffer::Buffer(std::span<const std::uint8_t> bytes)
{
    // The get area is only read; streambuf just wants non-const pointers.
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    setg(begin, begin, begin + bytes.size());
}

MemoryStream::Buffer::pos_type MemoryStream::Buffer::seekoff(off_type offset, std::ios_base::seekdir dir,
                                                             std::ios_base::openmode)
{
    off_type base = 0;
    if (dir == std::ios_base::cur)
        base = gptr() - eback();
    else if (dir == std::ios_base::end)
        base = egptr() - eback();
    const off_type target = base + offset;
    if (target < 0 || target > egptr() - eback())
        return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
}

MemoryStream::Buffer::pos_type MemoryStream::Buffer::seekpos(pos_type position, std::ios_base::openmode which)
{
    return seekoff(off_type(position), std::ios_base::beg, which);
}

} // namespace gui
