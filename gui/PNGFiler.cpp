#include "gui/PNGFiler.h"

#include "gui/Bitmap.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace gui {

namespace {

constexpr std::uint8_t signature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

constexpr std::uint32_t chunkType(const char (&name)[5])
{
    return (std::uint32_t(std::uint8_t(name[0])) << 24) | (std::uint32_t(std::uint8_t(name[1])) << 16) |
           (std::uint32_t(std::uint8_t(name[2])) << 8) | std::uint32_t(std::uint8_t(name[3]));
}

constexpr std::uint32_t IHDR = chunkType("IHDR");
constexpr std::uint32_t gAMA = chunkType("gAMA");
constexpr std::uint32_t IDAT = chunkType("IDAT");
constexpr std::uint32_t IEND = chunkType("IEND");

[[noreturn]] void invalidImage() { throw EBitmap("Invalid PNG image"); }
[[noreturn]] void unsupported() { throw EBitmap("Unsupported PNG format"); }

std::uint32_t bigEndian(const std::uint8_t* b)
{
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

bool readBytes(std::istream& in, void* data, std::size_t count)
{
    in.read(static_cast<char*>(data), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(in.gcount()) == count;
}

bool hasSignature(std::istream& in)
{
    std::uint8_t bytes[8];
    return readBytes(in, bytes, 8) && std::memcmp(bytes, signature, 8) == 0;
}

// Process-wide gamma state: images are decoded one at a time on the editor's
// thread, and the table is rebuilt only when an image's gamma differs.
struct GammaState {
    float exponent = -1.0f;
    std::array<std::uint8_t, 256> table{};
};

GammaState& gammaState()
{
    static GammaState state;
    return state;
}

void useGamma(float exponent)
{
    GammaState& g = gammaState();
    if (std::fabs(exponent - g.exponent) <= 1.1920929e-7f)
        return;
    g.exponent = exponent;
    for (int i = 0; i < 256; ++i) {
        const float v = 255.0f * std::pow(static_cast<float>(i) * 0.003921569f, exponent);
        // i/255 is rounded up slightly at 255, so a steep curve could exceed
        // the byte; and a NaN from a nonsense exponent draws black.
        g.table[i] = static_cast<std::uint8_t>(v >= 0.0f ? std::min(v, 255.0f) : 0.0f);
    }
}

int paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

struct InflateStream {
    z_stream z{};
    bool open = false;
    InflateStream()
    {
        if (inflateInit(&z) != Z_OK)
            invalidImage();
        open = true;
    }
    ~InflateStream()
    {
        if (open)
            inflateEnd(&z);
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;
};

} // namespace

float PNGFiler::displayGamma = 1.0f;

const std::array<std::uint8_t, 256>& PNGFiler::gammaTable() { return gammaState().table; }

PNGFiler::~PNGFiler() = default;

bool unfilterRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* previous, std::size_t length, int bpp)
{
    const std::size_t step = static_cast<std::size_t>(bpp);
    switch (type) {
    case 0:
        return true;
    case 1:
        for (std::size_t i = step; i < length; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - step]);
        return true;
    case 2:
        for (std::size_t i = 0; i < length; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + previous[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < length; ++i) {
            const int a = i >= step ? row[i - step] : 0;
            row[i] = static_cast<std::uint8_t>(row[i] + ((a + previous[i]) >> 1));
        }
        return true;
    case 4:
        for (std::size_t i = 0; i < length; ++i) {
            const int a = i >= step ? row[i - step] : 0;
            const int c = i >= step ? previous[i - step] : 0;
            row[i] = static_cast<std::uint8_t>(row[i] + paeth(a, previous[i], c));
        }
        return true;
    default:
        return false;
    }
}

bool PNGFiler::readChunkHeader(Chunk& chunk)
{
    std::uint8_t header[8];
    if (!readBytes(*in, header, 8))
        return false;
    chunk.length = bigEndian(header);
    chunk.type = bigEndian(header + 4);
    if (chunk.length > 0x7fffffffu)
        return false;
    chunk.next = in->tellg() + std::streamoff(chunk.length) + std::streamoff(4);
    return true;
}

void PNGFiler::seekTo(std::istream::pos_type position)
{
    in->clear();
    in->seekg(position);
    if (!*in)
        invalidImage();
}

float PNGFiler::gammaExponent(std::istream::pos_type firstChunk)
{
    seekTo(firstChunk);
    Chunk chunk;
    while (readChunkHeader(chunk)) {
        if (chunk.type == IDAT || chunk.type == IEND)
            break;
        if (chunk.type == gAMA) {
            std::uint8_t value[4];
            const std::uint32_t g = readBytes(*in, value, 4) ? bigEndian(value) : 0;
            // A gamma of 0 has no meaning; such a file is drawn as stored.
            if (g == 0)
                break;
            return 1.0f / (static_cast<float>(g) * 1e-5f * 2.2f) * displayGamma;
        }
        in->seekg(chunk.next);
        if (!*in)
            break;
    }
    return 1.0f;
}

std::size_t PNGFiler::feedInput(Chunk& chunk, std::uint32_t& remaining, void* stream)
{
    // Moves on to the next IDAT when this one is used up (empty ones are
    // allowed); any other chunk there means the image data was cut short.
    while (remaining == 0) {
        seekTo(chunk.next);
        if (!readChunkHeader(chunk) || chunk.type != IDAT)
            invalidImage();
        remaining = chunk.length;
    }
    const std::size_t piece = std::min<std::size_t>(remaining, input.size());
    if (!readBytes(*in, input.data(), piece))
        invalidImage();
    remaining -= static_cast<std::uint32_t>(piece);
    auto* z = static_cast<z_stream*>(stream);
    z->next_in = input.data();
    z->avail_in = static_cast<uInt>(piece);
    return piece;
}

void PNGFiler::read(std::istream& stream)
{
    in = &stream;
    if (!hasSignature(stream))
        throw EBitmap("Invalid PNG signature");

    Chunk chunk;
    if (!readChunkHeader(chunk) || chunk.type != IHDR || chunk.length < 13)
        invalidImage();
    std::uint8_t header[13];
    if (!readBytes(stream, header, 13))
        invalidImage();
    width = bigEndian(header);
    height = bigEndian(header + 4);
    const int depth = header[8], colourType = header[9];
    if (width < 1 || height < 1 || depth != 8 || (colourType != 2 && colourType != 6) || header[10] != 0 ||
        header[11] != 0 || header[12] != 0)
        unsupported();
    if (width > maximumSide || height > maximumSide)
        unsupported();
    bitmap.resize(static_cast<int>(width), static_cast<int>(height));
    bytesPerPixel = colourType == 2 ? 3 : 4;

    const std::istream::pos_type firstChunk = chunk.next;
    useGamma(gammaExponent(firstChunk));
    const std::array<std::uint8_t, 256>& gamma = gammaState().table;

    // Up to the first image data.
    seekTo(firstChunk);
    for (;;) {
        if (!readChunkHeader(chunk) || chunk.type == IEND)
            invalidImage();
        if (chunk.type == IDAT)
            break;
        seekTo(chunk.next);
    }
    std::uint32_t remaining = chunk.length;

    InflateStream inflater;
    z_stream& z = inflater.z;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * bytesPerPixel;
    std::vector<std::uint8_t> current(rowBytes + 1, 0), previous(rowBytes + 1, 0);
    std::vector<std::uint32_t> pixels(width);
    bool anyTransparent = false;
    bool streamEnded = false;

    for (std::uint32_t y = 0; y < height; ++y) {
        z.next_out = current.data();
        z.avail_out = static_cast<uInt>(current.size());
        while (z.avail_out > 0) {
            if (streamEnded)
                invalidImage();
            if (z.avail_in == 0)
                feedInput(chunk, remaining, &z);
            const int result = inflate(&z, Z_NO_FLUSH);
            if (result == Z_STREAM_END)
                streamEnded = true;
            else if (result != Z_OK && !(result == Z_BUF_ERROR && z.avail_in == 0))
                invalidImage();
        }
        std::uint8_t* row = current.data() + 1;
        if (!unfilterRow(current[0], row, previous.data() + 1, rowBytes, bytesPerPixel))
            invalidImage();
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * bytesPerPixel;
            const std::uint32_t a = bytesPerPixel == 4 ? p[3] : 255;
            anyTransparent = anyTransparent || a < 255;
            pixels[x] = std::uint32_t(gamma[p[0]]) | (std::uint32_t(gamma[p[1]]) << 8) |
                        (std::uint32_t(gamma[p[2]]) << 16) | (a << 24);
        }
        bitmap.setRow(static_cast<int>(y), pixels);
        std::swap(current, previous);
    }
    bitmap.transparent = anyTransparent;
}

std::unique_ptr<BitmapFiler> PNGFilerFactory::createFiler(Bitmap& target, std::istream& input) const
{
    if (!hasSignature(input))
        return nullptr;
    return std::make_unique<PNGFiler>(target);
}

} // namespace gui
