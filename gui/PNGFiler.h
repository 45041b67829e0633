#pragma once

#include "gui/BitmapFiler.h"

#include <array>
#include <cstdint>
#include <vector>

namespace gui {

// Decodes the PNG files the product's images use: 8-bit RGB or RGBA, not
// interlaced, any of the five row filters, image data in one or many IDAT
// chunks, with an optional gAMA chunk applied to the colour channels.
// Anything else is refused with EBitmap and one of the messages
// "Invalid PNG signature", "Invalid PNG image", "Unsupported PNG format".
// CRCs are not checked. Rows that were not reached before a failure stay
// as they were after the resize (zero).
class PNGFiler : public BitmapFiler {
public:
    using BitmapFiler::BitmapFiler;
    ~PNGFiler() override;

    void read(std::istream& input) override;

    // Images wider or higher than this are refused as unsupported, so that
    // a damaged header cannot ask for gigabytes.
    static constexpr std::uint32_t maximumSide = 8192;

    // The display's gamma factor, shared by the process (1.0 unless the
    // editor sets another before loading its images).
    static float displayGamma;
    // The table that maps stored colour values to drawn ones for the last
    // image's gamma: entry i = int(255 x (i / 255)^exponent).
    static const std::array<std::uint8_t, 256>& gammaTable();

private:
    struct Chunk {
        std::uint32_t length = 0;
        std::uint32_t type = 0;
        std::istream::pos_type next = 0;
    };

    bool readChunkHeader(Chunk& chunk);
    void seekTo(std::istream::pos_type position);
    float gammaExponent(std::istream::pos_type firstChunk);
    std::size_t feedInput(Chunk& chunk, std::uint32_t& remaining, void* stream);

    std::istream* in = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bytesPerPixel = 0;
    std::array<std::uint8_t, 1024> input{};
};

class PNGFilerFactory : public BitmapFilerFactory {
public:
    std::unique_ptr<BitmapFiler> createFiler(Bitmap& target, std::istream& input) const override;
};

// Reverses the PNG row filter `type` in place over `row` (width x bpp
// bytes, without the type byte) given the previous, already unfiltered row.
// False for an unknown filter type.
bool unfilterRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* previous, std::size_t length, int bpp);

} // namespace gui
