#include "editor/RoutingDiagram.h"

#include <algorithm>
#include <array>

namespace {

using Node = RoutingDiagram::Node;

// The eight arrangements in routing-index order: ">" in series, "|" in
// parallel.
constexpr std::array<const char*, 8> arrangementTexts = {
    "1>2>3>4", "1|2|3|4", "(1>2)|(3>4)", "(1|2)>(3|4)", "(1>2>3)|4", "(1|2|3)>4", "(1>2)|3|4", "(1|2)>3>4",
};

Node parse(const char*& p);

Node parseTerm(const char*& p)
{
    if (*p == '(') {
        ++p;
        Node inner = parse(p);
        if (*p == ')')
            ++p;
        return inner;
    }
    Node leaf;
    leaf.filter = *p - '0';
    ++p;
    return leaf;
}

Node parse(const char*& p)
{
    Node first = parseTerm(p);
    if (*p != '>' && *p != '|')
        return first;
    Node group;
    group.kind = *p == '>' ? Node::Series : Node::Parallel;
    group.children.push_back(std::move(first));
    while (*p == '>' || *p == '|') {
        ++p;
        group.children.push_back(parseTerm(p));
    }
    return group;
}

// Takes out the filters not in `used`; a group left with one member becomes
// that member, and a member of the same kind as its group merges into it.
// Returns false when nothing is left.
bool reduce(Node& node, unsigned used)
{
    if (node.kind == Node::Filter)
        return (used >> (node.filter - 1) & 1u) != 0;
    std::vector<Node> kept;
    for (Node& child : node.children) {
        if (!reduce(child, used))
            continue;
        if (child.kind == node.kind)
            for (Node& grandchild : child.children)
                kept.push_back(std::move(grandchild));
        else
            kept.push_back(std::move(child));
    }
    node.children = std::move(kept);
    if (node.children.empty())
        return false;
    if (node.children.size() == 1) {
        Node only = std::move(node.children.front());
        node = std::move(only);
    }
    return true;
}

std::string textOf(const Node& node, bool nested)
{
    if (node.kind == Node::Filter)
        return std::to_string(node.filter);
    std::string text;
    for (const Node& child : node.children) {
        if (!text.empty())
            text += node.kind == Node::Series ? " \xE2\x86\x92 " : " \xE2\x88\xA5 ";
        text += textOf(child, true);
    }
    return nested ? "(" + text + ")" : text;
}

// Size of a node in grid units: a filter is one cell; a series adds up
// widths, a parallel group stacks heights.
struct Size {
    int columns = 1;
    int rows = 1;
};

Size sizeOf(const Node& node)
{
    if (node.kind == Node::Filter)
        return {};
    Size total{0, 0};
    for (const Node& child : node.children) {
        const Size s = sizeOf(child);
        if (node.kind == Node::Series) {
            total.columns += s.columns;
            total.rows = std::max(total.rows, s.rows);
        } else {
            total.columns = std::max(total.columns, s.columns);
            total.rows += s.rows;
        }
    }
    return total;
}

struct Placer {
    RoutingDiagram::Layout& out;
    float cellWidth;
    float cellHeight;

    // Places node in the cell block from (x, y) of `columns` x `rows` cells;
    // returns its entry and exit points.
    std::pair<gui::PointF, gui::PointF> place(const Node& node, float x, float y, int columns, int rows)
    {
        const float midY = y + cellHeight * static_cast<float>(rows) * 0.5f;
        if (node.kind == Node::Filter) {
            const float cx = x + cellWidth * static_cast<float>(columns) * 0.5f;
            out.boxes.push_back({node.filter, {cx, midY}});
            const float halfBox = out.boxWidth * 0.5f;
            const gui::PointF in{cx - halfBox, midY}, exit{cx + halfBox, midY};
            // Wider blocks than one cell reach their edges with a line.
            if (columns > 1) {
                out.lines.push_back({{x, midY}, in});
                out.lines.push_back({exit, {x + cellWidth * static_cast<float>(columns), midY}});
                return {{x, midY}, {x + cellWidth * static_cast<float>(columns), midY}};
            }
            return {in, exit};
        }
        if (node.kind == Node::Series) {
            // Spread the spare columns over the members.
            const Size own = sizeOf(node);
            const int spare = columns - own.columns;
            float cx = x;
            gui::PointF entry{}, previous{};
            for (std::size_t i = 0; i < node.children.size(); ++i) {
                const Size s = sizeOf(node.children[i]);
                const int extra = spare / static_cast<int>(node.children.size()) +
                                  (static_cast<int>(i) < spare % static_cast<int>(node.children.size()) ? 1 : 0);
                const int c = s.columns + extra;
                auto [in, exit] = place(node.children[i], cx, y, c, rows);
                if (i == 0)
                    entry = in;
                else
                    out.lines.push_back({previous, in});
                previous = exit;
                cx += cellWidth * static_cast<float>(c);
            }
            return {entry, previous};
        }
        // Parallel: members stacked, joined by a split line on the left and
        // a merge line on the right.
        const Size own = sizeOf(node);
        float cy = y + cellHeight * static_cast<float>(rows - own.rows) * 0.5f;
        const float left = x + cellWidth * 0.18f, right = x + cellWidth * (static_cast<float>(columns) - 0.18f);
        float top = 1e9f, bottom = -1e9f;
        for (const Node& child : node.children) {
            const Size s = sizeOf(child);
            auto [in, exit] = place(child, x, cy, columns, s.rows);
            // Trim the member's own edge lines to the split and merge.
            out.lines.push_back({{left, in.y}, in});
            out.lines.push_back({exit, {right, exit.y}});
            top = std::min(top, in.y);
            bottom = std::max(bottom, in.y);
            cy += cellHeight * static_cast<float>(s.rows);
        }
        out.lines.push_back({{left, top}, {left, bottom}});
        out.lines.push_back({{right, top}, {right, bottom}});
        out.lines.push_back({{x, midY}, {left, midY}});
        out.lines.push_back({{right, midY}, {x + cellWidth * static_cast<float>(columns), midY}});
        return {{x, midY}, {x + cellWidth * static_cast<float>(columns), midY}};
    }
};

} // namespace

RoutingDiagram::RoutingDiagram(int index, unsigned used)
{
    const char* p = arrangementTexts[static_cast<std::size_t>(std::clamp(index, 0, 7))];
    top = parse(p);
    if (!reduce(top, used)) {
        top = Node{};
        top.kind = Node::Series;
    }
}

std::string RoutingDiagram::text() const { return empty() ? std::string() : textOf(top, false); }

RoutingDiagram::Layout RoutingDiagram::layout(const gui::Rect& area) const
{
    Layout result;
    if (empty())
        return result;
    const Size s = sizeOf(top);
    const float margin = 4.0f;
    const float cellWidth = (static_cast<float>(area.width()) - 2 * margin) / static_cast<float>(s.columns);
    const float cellHeight = static_cast<float>(area.height()) / static_cast<float>(s.rows);
    result.boxWidth = std::min(13.0f, cellWidth - 5.0f);
    result.boxHeight = std::min(11.0f, cellHeight - 2.0f);
    Placer placer{result, cellWidth, cellHeight};
    auto [in, exit] =
        placer.place(top, static_cast<float>(area.left) + margin, static_cast<float>(area.top), s.columns, s.rows);
    result.lines.push_back({{static_cast<float>(area.left), in.y}, in});
    result.lines.push_back({exit, {static_cast<float>(area.right), exit.y}});
    return result;
}
