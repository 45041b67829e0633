#include "editor/Drawing.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace Drawing {

namespace {

// The outline of a rounded rectangle, inset by `inset`, clockwise.
std::vector<gui::PointF> outline(const gui::Rect& area, float radius, float inset)
{
    const float left = static_cast<float>(area.left) + inset, top = static_cast<float>(area.top) + inset;
    const float right = static_cast<float>(area.right) - inset, bottom = static_cast<float>(area.bottom) - inset;
    const float r = std::max(0.0f, std::min({radius - inset, (right - left) * 0.5f, (bottom - top) * 0.5f}));
    constexpr int steps = 6; // per quarter circle: smooth at scale 2 for the radii used here
    std::vector<gui::PointF> points;
    points.reserve(4 * (steps + 1));
    const gui::PointF centres[4] = {{right - r, top + r}, {right - r, bottom - r}, {left + r, bottom - r}, {left + r, top + r}};
    for (int corner = 0; corner < 4; ++corner) {
        for (int i = 0; i <= steps; ++i) {
            // Start at the top of the first corner's arc, clockwise.
            const float a = (static_cast<float>(corner) - 1.0f + static_cast<float>(i) / steps) * 0.5f *
                            std::numbers::pi_v<float>;
            points.push_back({centres[corner].x + r * std::cos(a), centres[corner].y + r * std::sin(a)});
        }
    }
    return points;
}

} // namespace

void fillRoundedRect(gui::Canvas& canvas, const gui::Rect& area, float radius, gui::Pixel colour)
{
    const auto points = outline(area, radius, 0.0f);
    canvas.fillPolygon(points, colour);
}

void strokeRoundedRect(gui::Canvas& canvas, const gui::Rect& area, float radius, float width, gui::Pixel colour)
{
    auto points = outline(area, radius, width * 0.5f);
    points.push_back(points.front());
    canvas.strokePolyline(points, width, colour);
}

void plate(gui::Canvas& canvas, const gui::Rect& area, float radius, gui::Pixel face, gui::Pixel edge)
{
    fillRoundedRect(canvas, area, radius, face);
    strokeRoundedRect(canvas, area, radius, 1.0f, edge);
}

} // namespace Drawing
