#pragma once

// Helpers for checking our images against ImageMagick: a scratch folder,
// running a command, and the pixels ImageMagick reads from a file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace imagetools {

class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ostrand-gui-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string operator/(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

// Runs a shell command quietly (its own redirections still apply); true when
// it exits with 0.
inline bool run(const std::string& command)
{
    return std::system(("{ " + command + " ; } >/dev/null 2>&1").c_str()) == 0;
}

inline std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
