#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gui {

class Bitmap;

// Encodes a bitmap as an 8-bit RGBA PNG (one IDAT, the "up" row filter),
// for snapshots and screenshots; images of the product are only ever read.
std::vector<std::uint8_t> encodePNG(const Bitmap& bitmap);

// Writes encodePNG to a file; false when the file cannot be written.
bool writePNG(const Bitmap& bitmap, const std::string& path);

} // namespace gui
