#include "gui/PNGWriter.h"

#include "gui/Bitmap.h"

#include <zlib.h>

#include <cstdio>
#include <memory>

namespace gui {

namespace {

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeStart = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + typeStart, static_cast<uInt>(out.size() - typeStart));
    putBigEndian(out, static_cast<std::uint32_t>(crc));
}

} // namespace

std::vector<std::uint8_t> encodePNG(const Bitmap& bitmap)
{
    const int w = bitmap.width(), h = bitmap.height();
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 4 + 1;
    std::vector<std::uint8_t> raw(rowBytes * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        std::uint8_t* out = raw.data() + rowBytes * static_cast<std::size_t>(y);
        out[0] = y > 0 ? 2 : 0; // up: screens repeat rows a lot
        const Pixel* in = bitmap.row(y);
        for (int x = 0; x < w; ++x) {
            const Pixel p = in[x];
            out[1 + 4 * x] = static_cast<std::uint8_t>(redOf(p));
            out[2 + 4 * x] = static_cast<std::uint8_t>(greenOf(p));
            out[3 + 4 * x] = static_cast<std::uint8_t>(blueOf(p));
            out[4 + 4 * x] = static_cast<std::uint8_t>(alphaOf(p));
        }
    }
    for (int y = h - 1; y > 0; --y) {
        std::uint8_t* out = raw.data() + rowBytes * static_cast<std::size_t>(y);
        const std::uint8_t* above = out - rowBytes;
        for (std::size_t i = 1; i < rowBytes; ++i)
            out[i] = static_cast<std::uint8_t>(out[i] - above[i]);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6);
    packed.resize(packedSize);

    std::vector<std::uint8_t> png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> header;
    putBigEndian(header, static_cast<std::uint32_t>(w));
    putBigEndian(header, static_cast<std::uint32_t>(h));
    header.insert(header.end(), {8, 6, 0, 0, 0});
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", packed);
    putChunk(png, "IEND", {});
    return png;
}

bool writePNG(const Bitmap& bitmap, const std::string& path)
{
    const std::vector<std::uint8_t> png = encodePNG(bitmap);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file)
        return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), file.get()) == png.size();
    return std::fclose(file.release()) == 0 && written;
}

} // namespace gui
