#include "gui/x11/FreeTypeText.h"

#include "gui/Canvas.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace gui {

namespace {

struct Glyph {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int advance = 0;
    std::vector<std::uint8_t> coverage;
};

// Decodes one code point of UTF-8 at `i`; a broken sequence reads as U+FFFD
// and moves on by one byte.
char32_t nextCodePoint(std::string_view s, std::size_t& i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + static_cast<std::size_t>(length) > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = length == 1 ? c : c & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const unsigned char d = byte(i + static_cast<std::size_t>(k));
        if ((d >> 6) != 2) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (d & 0x3F);
    }
    i += static_cast<std::size_t>(length);
    return cp;
}

// Everything FreeType and fontconfig: one library per process, used under
// one lock.
struct Library {
    std::mutex mutex;
    FT_Library freetype = nullptr;
    std::map<std::tuple<std::string, int, bool>, std::pair<std::string, int>> matches;
    std::map<std::tuple<std::string, int, int>, std::weak_ptr<FreeTypeText::Face>> faces;

    Library()
    {
        if (FT_Init_FreeType(&freetype) != 0)
            freetype = nullptr;
    }
    // Left to the end of the process: faces may outlive any one editor.
};

Library& library()
{
    static Library* instance = new Library;
    return *instance;
}

} // namespace

struct FreeTypeText::Face {
    FT_Face face = nullptr;
    int ascent = 0;
    int descent = 0;
    std::unordered_map<char32_t, Glyph> glyphs;

    ~Face()
    {
        std::lock_guard lock(library().mutex);
        if (face)
            FT_Done_Face(face);
    }

    // Under the library lock.
    const Glyph& glyph(char32_t cp)
    {
        auto found = glyphs.find(cp);
        if (found != glyphs.end())
            return found->second;
        Glyph g;
        if (face && FT_Load_Char(face, cp, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) == 0) {
            const FT_GlyphSlot slot = face->glyph;
            const FT_Bitmap& b = slot->bitmap;
            g.left = slot->bitmap_left;
            g.top = slot->bitmap_top;
            g.width = static_cast<int>(b.width);
            g.height = static_cast<int>(b.rows);
            g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
            if (b.pixel_mode == FT_PIXEL_MODE_GRAY) {
                g.coverage.resize(static_cast<std::size_t>(g.width) * g.height);
                for (int y = 0; y < g.height; ++y)
                    for (int x = 0; x < g.width; ++x)
                        g.coverage[static_cast<std::size_t>(y) * g.width + x] = b.buffer[y * b.pitch + x];
            } else {
                g.width = g.height = 0;
            }
        }
        return glyphs.emplace(cp, std::move(g)).first->second;
    }
};

FreeTypeText::FreeTypeText() = default;

FreeTypeText::~FreeTypeText() = default;

void FreeTypeText::fontChanged()
{
    faces[0].reset();
    faces[1].reset();
}

std::string FreeTypeText::fontFile() { return fontMatch().first; }

std::pair<std::string, int> FreeTypeText::fontMatch()
{
    const Font& f = font();
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    const auto key = std::make_tuple(f.faceName(), f.weight(), f.italic);
    auto found = lib.matches.find(key);
    if (found != lib.matches.end())
        return found->second;
    std::pair<std::string, int> match{"", 0};
    if (FcInit()) {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(f.faceName().c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT, f.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, f.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* chosen = FcFontMatch(nullptr, pattern, &result)) {
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(chosen, FC_FILE, 0, &file) == FcResultMatch) {
                FcPatternGetInteger(chosen, FC_INDEX, 0, &index);
                match = {reinterpret_cast<const char*>(file), index};
            }
            FcPatternDestroy(chosen);
        }
        FcPatternDestroy(pattern);
    }
    lib.matches[key] = match;
    return match;
}

std::shared_ptr<FreeTypeText::Face> FreeTypeText::faceFor(int scale)
{
    const int slot = scale >= 2 ? 1 : 0;
    if (faces[slot])
        return faces[slot];
    const auto [file, index] = fontMatch();
    const int pixels = font().pixelHeight() * (slot + 1);
    Library& lib = library();
    std::lock_guard lock(lib.mutex);
    const auto key = std::make_tuple(file, index, pixels);
    if (auto shared = lib.faces[key].lock())
        return faces[slot] = shared;
    auto face = std::make_shared<Face>();
    if (lib.freetype && !file.empty() &&
        FT_New_Face(lib.freetype, file.c_str(), index, &face->face) == 0) {
        FT_Set_Pixel_Sizes(face->face, 0, static_cast<FT_UInt>(std::max(1, pixels)));
        face->ascent = static_cast<int>((face->face->size->metrics.ascender + 63) >> 6);
        face->descent = static_cast<int>((-face->face->size->metrics.descender + 63) >> 6);
    } else {
        face->face = nullptr;
        face->ascent = pixels * 4 / 5;
        face->descent = pixels / 5;
    }
    lib.faces[key] = face;
    return faces[slot] = face;
}

int FreeTypeText::ascent(int scale) { return faceFor(scale)->ascent; }

int FreeTypeText::descent(int scale) { return faceFor(scale)->descent; }

int FreeTypeText::measure(std::string_view utf8, int scale)
{
    const auto face = faceFor(scale);
    std::lock_guard lock(library().mutex);
    int width = 0;
    for (std::size_t i = 0; i < utf8.size();)
        width += face->glyph(nextCodePoint(utf8, i)).advance;
    return width;
}

void FreeTypeText::draw(Canvas& canvas, std::string_view utf8, int x, int baselineY, Pixel colour)
{
    const auto face = faceFor(canvas.scale());
    std::lock_guard lock(library().mutex);
    for (std::size_t i = 0; i < utf8.size();) {
        const Glyph& g = face->glyph(nextCodePoint(utf8, i));
        if (g.width > 0)
            canvas.drawMask(x + g.left, baselineY - g.top, g.coverage.data(), g.width, g.height, g.width, colour);
        x += g.advance;
    }
}

} // namespace gui
