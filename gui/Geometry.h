#pragma once

#include <algorithm>

namespace gui {

// A point in a control's coordinates (whole units of the editor's 1x grid).
struct Point {
    int x = 0;
    int y = 0;

    friend bool operator==(const Point&, const Point&) = default;
    Point operator+(Point o) const { return {x + o.x, y + o.y}; }
    Point operator-(Point o) const { return {x - o.x, y - o.y}; }
};

// A point with fractions, for anti-aliased drawing (1x units).
struct PointF {
    float x = 0;
    float y = 0;
};

// A rectangle from left/top (inclusive) to right/bottom (exclusive). An empty
// rectangle (no area) is the neutral element of unite().
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static Rect ofSize(int x, int y, int width, int height) { return {x, y, x + width, y + height}; }

    friend bool operator==(const Rect&, const Rect&) = default;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    bool intersects(const Rect& o) const { return !intersection(o).empty(); }

    Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Rect offset(Point d) const { return offset(d.x, d.y); }
    Rect inset(int d) const { return {left + d, top + d, right - d, bottom - d}; }
    Rect scaled(int factor) const { return {left * factor, top * factor, right * factor, bottom * factor}; }

    Rect intersection(const Rect& o) const
    {
        Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
        return r.empty() ? Rect{} : r;
    }

    // The smallest rectangle holding both; an empty side contributes nothing.
    Rect unite(const Rect& o) const
    {
        if (o.empty())
            return *this;
        if (empty())
            return o;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
    }
};

} // namespace gui
