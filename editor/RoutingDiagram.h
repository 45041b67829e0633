#pragma once

#include "gui/Geometry.h"

#include <string>
#include <vector>

// What the routing picture shows: the filters of one channel path as a
// series-parallel diagram. Each of the eight arrangements is such an
// expression ("(1 → 2) ∥ (3 → 4)"); the filters a path does not use are
// taken out and what is left is simplified, which is what the routing's
// bypass and skip rules make of it: with three filters in use "(1 → 2) ∥
// (3 → 4)" plays as "(1 → 2) ∥ 3".
class RoutingDiagram {
public:
    struct Node {
        enum Kind { Filter, Series, Parallel };
        Kind kind = Filter;
        int filter = 0; // 1..4 for a Filter node
        std::vector<Node> children;
    };

    // A filter box and a connecting line of the laid-out diagram, in units
    // of the area given to layout().
    struct Box {
        int filter;
        gui::PointF centre;
    };
    struct Line {
        gui::PointF from;
        gui::PointF to;
    };
    struct Layout {
        std::vector<Box> boxes;
        std::vector<Line> lines;
        float boxWidth = 0;
        float boxHeight = 0;
    };

    // Arrangement `index` (0..7) with only the filters in `used` (bit k for
    // filter k + 1).
    RoutingDiagram(int index, unsigned used);

    const Node& root() const { return top; }
    bool empty() const { return top.kind != Node::Filter && top.children.empty(); }
    // "1 → 2 → 3", "(1 ∥ 2) → 3", "1".
    std::string text() const;

    // Fits the diagram into `area`, with the signal entering at its left
    // edge and leaving at its right edge.
    Layout layout(const gui::Rect& area) const;

    // The arrangement index the Routing parameter's option selects in the
    // split modes (Per Channel, Mid/Side) with four filters: 0, 1, 4 or 5.
    static int splitIndex(int option) { return option % 2 + 4 * ((option / 2) % 2); }

private:
    Node top;
};
