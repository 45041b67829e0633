#pragma once

// Helpers for checking our images against ImageMagick: a scratch folder,
// running a command, and the pixels ImageMagick reads from a file.
#include "TestFiles.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace imagetools {

using testsupport::ScratchFolder;

// Runs a shell command quietly; true when it exits with 0.
inline bool run(const std::string& command)
{
    return testsupport::runCommand("{ " + command + " ; } >/dev/null 2>&1").status == 0;
}

inline std::vector<std::uint8_t> readFile(const std::string& path)
{
    const std::string bytes = testsupport::readFile(path);
    return {bytes.begin(), bytes.end()};
}

inline void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// Pixels as ImageMagick decodes them: 8 bits per channel, R, G, B, A.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;

    const std::uint8_t* at(int x, int y) const { return rgba.data() + 4 * (static_cast<std::size_t>(y) * width + x); }
};

inline RgbaImage readWithImageMagick(const std::string& path)
{
    RgbaImage image;
    ScratchFolder scratch;
    const std::string raw = scratch / "pixels.rgba";
    const std::string size = scratch / "size.txt";
    if (!run("convert '" + path + "' -depth 8 rgba:'" + raw + "'") ||
        !run("identify -format '%w %h' '" + path + "' > '" + size + "'"))
        return image;
    std::ifstream(size) >> image.width >> image.height;
    image.rgba = readFile(raw);
    if (image.rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4)
        image = {};
    return image;
}

} // namespace imagetools
