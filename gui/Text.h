#pragma once

#include "gui/Pixel.h"

#include <memory>
#include <string>
#include <string_view>

namespace gui {

class Canvas;

// Which font a text draws with. The face is a family name that the platform
// matches to an installed font ("Tahoma" when none is given, and at most 32
// characters of the name count); the size is in points at 96 dots per inch.
struct Font {
    std::string face;
    int size = 8;
    bool bold = false;
    bool italic = false;

    std::string faceName() const;
    // The em height in pixels at scale 1: size x 96 / 72, rounded to the
    // nearest pixel.
    int pixelHeight() const;
    // 700 when bold, else 400.
    int weight() const { return bold ? 700 : 400; }
};

// A font and the rendering of strings in it. The platform implements the
// rendering; sizes and positions are in device pixels at the given scale.
// Strings are UTF-8.
class Text {
public:
    virtual ~Text() = default;

    const Font& font() const { return current; }
    void setFont(const Font& font)
    {
        current = font;
        fontChanged();
    }

    virtual int ascent(int scale) = 0;
    virtual int descent(int scale) = 0;
    // The advance width of the string.
    virtual int measure(std::string_view utf8, int scale) = 0;
    // Draws the string with its baseline starting at device position (x, y)
    // of the canvas's surface, through the canvas's clip and alpha.
    virtual void draw(Canvas& canvas, std::string_view utf8, int x, int baselineY, Pixel colour) = 0;

protected:
    // The font changed: drop what was prepared for the old one.
    virtual void fontChanged() = 0;

private:
    Font current;
};

} // namespace gui
