#include "editor/modulation/ModulationDragStage.h"

#include "gui/Canvas.h"

#include <cmath>
#include <vector>

ModulationDragStage::ModulationDragStage(gui::Control& parent) : gui::DragStage(parent) {}

void ModulationDragStage::snapTo(std::optional<gui::PointF> centre, float radius)
{
    snap = centre;
    snapRadius = radius;
    invalidate();
}

void ModulationDragStage::paint(gui::Canvas& canvas)
{
    const auto* cable = dynamic_cast<const Cable*>(draggedObject());
    if (!cable)
        return;
    const gui::PointF a = cable->start();
    const gui::Point p = pointer();
    const gui::PointF b = snap ? *snap : gui::PointF{static_cast<float>(p.x), static_cast<float>(p.y)};
    // A cable hangs: a quadratic curve whose middle sags by a share of its
    // length.
    const float length = std::hypot(b.x - a.x, b.y - a.y);
    const gui::PointF control{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f + length * 0.18f};
    std::vector<gui::PointF> points;
    constexpr int steps = 32;
    points.reserve(steps + 1);
    for (int i = 0; i <= steps; ++i) {
        const float t = static_cast<float>(i) / steps, u = 1.0f - t;
        points.push_back({u * u * a.x + 2 * u * t * control.x + t * t * b.x,
                          u * u * a.y + 2 * u * t * control.y + t * t * b.y});
    }
    canvas.strokePolyline(points, 3.2f, gui::rgba(0, 0, 0, 110));
    canvas.strokePolyline(points, 1.8f, cable->colour());
    canvas.fillCircle(a, 3.0f, cable->colour());
    if (snap) {
        canvas.strokeArc(*snap, snapRadius, 0.0f, 1.0f, 2.0f, cable->colour());
        canvas.fillCircle(*snap, 2.5f, cable->colour());
    } else {
        canvas.fillCircle(b, 2.5f, cable->colour());
    }
}
