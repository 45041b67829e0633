#include "gui/Text.h"

#include <cmath>

namespace gui {

std::string Font::faceName() const
{
    if (face.empty())
        return "Tahoma";
    return face.substr(0, 32);
}

int Font::pixelHeight() const
{
    // Rounded like a multiply-then-divide on integers: halves away from 0.
    return static_cast<int>(std::lround(size * 96.0 / 72.0));
}

} // namespace gui
