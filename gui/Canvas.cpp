#include "gui/Canvas.h"

#include "gui/Bitmap.h"
#include "gui/Text.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace gui {

namespace {

unsigned toByte(float coverage)
{
    return static_cast<unsigned>(std::clamp(coverage, 0.0f, 1.0f) * 255.0f + 0.5f);
}

// Smallest device rectangle that holds the float box, one pixel of margin
// for anti-aliasing.
Rect boundsOf(float x0, float y0, float x1, float y1)
{
    return {static_cast<int>(std::floor(x0)) - 1, static_cast<int>(std::floor(y0)) - 1,
            static_cast<int>(std::ceil(x1)) + 1, static_cast<int>(std::ceil(y1)) + 1};
}

// Adds the signed area that the edge p0 -> p1 covers to each cell of an
// accumulation buffer (width w + 2, rows 0..h-1). A prefix sum along each row
// then gives the winding coverage of every pixel. Positions are relative to
// the buffer; parts left of it pile up in its first cell.
void accumulateEdge(std::vector<float>& acc, int w, int h, PointF p0, PointF p1)
{
    if (p0.y == p1.y)
        return;
    float dir = 1.0f;
    if (p0.y > p1.y) {
        std::swap(p0, p1);
        dir = -1.0f;
    }
    const float dxdy = (p1.x - p0.x) / (p1.y - p0.y);
    const int stride = w + 2;
    const int yStart = std::max(0, static_cast<int>(std::floor(p0.y)));
    const int yEnd = std::min(h, static_cast<int>(std::ceil(p1.y)));
    const float xMax = static_cast<float>(w);
    for (int y = yStart; y < yEnd; ++y) {
        const float top = std::max(static_cast<float>(y), p0.y);
        const float bottom = std::min(static_cast<float>(y + 1), p1.y);
        const float dy = bottom - top;
        if (dy <= 0)
            continue;
        const float xa = std::clamp(p0.x + (top - p0.y) * dxdy, 0.0f, xMax);
        const float xb = std::clamp(p0.x + (bottom - p0.y) * dxdy, 0.0f, xMax);
        const float d = dy * dir;
        float* line = acc.data() + static_cast<std::size_t>(y) * stride;
        const float x0 = std::min(xa, xb), x1 = std::max(xa, xb);
        const float x0floor = std::floor(x0);
        const int x0i = static_cast<int>(x0floor);
        const float x1ceil = std::ceil(x1);
        const int x1i = static_cast<int>(x1ceil);
        if (x1i <= x0i + 1) {
            // Inside one cell: the cell gets the part of the area left of
            // the edge's mean position, the next cell the rest.
            const float xm = 0.5f * (xa + xb) - x0floor;
            line[x0i] += d - d * xm;
            line[x0i + 1] += d * xm;
        } else {
            const float s = 1.0f / (x1 - x0);
            const float x0f = x0 - x0floor;
            const float a0 = 0.5f * s * (1.0f - x0f) * (1.0f - x0f);
            const float x1f = x1 - x1ceil + 1.0f;
            const float am = 0.5f * s * x1f * x1f;
            line[x0i] += d * a0;
            if (x1i == x0i + 2) {
                line[x0i + 1] += d * (1.0f - a0 - am);
            } else {
                const float a1 = s * (1.5f - x0f);
                line[x0i + 1] += d * (a1 - a0);
                for (int xi = x0i + 2; xi < x1i - 1; ++xi)
                    line[xi] += d * s;
                const float a2 = a1 + static_cast<float>(x1i - x0i - 3) * s;
                line[x1i - 1] += d * (1.0f - a2 - am);
            }
            line[x1i] += d * am;
        }
    }
}

float distanceToSegment(float px, float py, PointF a, PointF b)
{
    const float vx = b.x - a.x, vy = b.y - a.y;
    const float wx = px - a.x, wy = py - a.y;
    const float len2 = vx * vx + vy * vy;
    float t = len2 > 0 ? (wx * vx + wy * vy) / len2 : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    const float dx = wx - t * vx, dy = wy - t * vy;
    return std::sqrt(dx * dx + dy * dy);
}

} // namespace

Canvas::Canvas(Owner& owner, int scale) : target(owner), factor(scale < 2 ? 1 : 2)
{
    state.clip = {0, 0, owner.canvasWidth(), owner.canvasHeight()};
}

void Canvas::translate(int dx, int dy)
{
    state.origin.x += dx;
    state.origin.y += dy;
}

Rect Canvas::toDevice(const Rect& r) const { return r.offset(state.origin).scaled(factor); }

void Canvas::clipTo(const Rect& area) { state.clip = state.clip.intersection(toDevice(area)); }

void Canvas::multiplyAlpha(unsigned a) { state.alpha = mul255(state.alpha, std::min(a, 255u)); }

Rect Canvas::clipBounds() const
{
    const Rect& c = state.clip;
    auto down = [&](int v) { return v >= 0 ? v / factor : -((-v + factor - 1) / factor); };
    auto up = [&](int v) { return -down(-v); };
    return Rect{down(c.left), down(c.top), up(c.right), up(c.bottom)}.offset(-state.origin.x, -state.origin.y);
}

void Canvas::fillRect(const Rect& area, Pixel colour)
{
    const Rect r = toDevice(area).intersection(state.clip);
    if (r.empty())
        return;
    const unsigned a = mul255(alphaOf(colour), state.alpha);
    const Pixel c = withAlpha(colour, a);
    for (int y = r.top; y < r.bottom; ++y) {
        Pixel* row = target.canvasRow(y);
        if (a == 255)
            std::fill(row + r.left, row + r.right, c);
        else
            for (int x = r.left; x < r.right; ++x)
                row[x] = blendOver(row[x], c);
    }
    target.canvasChanged(r);
}

void Canvas::frameRect(const Rect& area, Pixel colour)
{
    if (area.empty())
        return;
    fillRect({area.left, area.top, area.right, area.top + 1}, colour);
    fillRect({area.left, area.bottom - 1, area.right, area.bottom}, colour);
    fillRect({area.left, area.top + 1, area.left + 1, area.bottom - 1}, colour);
    fillRect({area.right - 1, area.top + 1, area.right, area.bottom - 1}, colour);
}

void Canvas::drawBitmap(const Bitmap& bitmap, int x, int y)
{
    drawBitmap(bitmap, Rect{0, 0, bitmap.width(), bitmap.height()}, x, y);
}

void Canvas::drawBitmap(const Bitmap& bitmap, const Rect& source, int x, int y)
{
    const Rect src = source.intersection({0, 0, bitmap.width(), bitmap.height()});
    if (src.empty())
        return;
    // Where the part lands once the source was cut to the bitmap.
    const int dx = (x + state.origin.x + src.left - source.left) * factor;
    const int dy = (y + state.origin.y + src.top - source.top) * factor;
    const Bitmap* twice = factor == 2 ? bitmap.doubleSize() : nullptr;
    if (twice && twice->width() >= bitmap.width() * 2 && twice->height() >= bitmap.height() * 2)
        drawBitmapPixels(*twice, src.scaled(2), dx, dy, 1);
    else
        drawBitmapPixels(bitmap, src, dx, dy, factor);
}

void Canvas::drawBitmapPixels(const Bitmap& bitmap, const Rect& source, int deviceX, int deviceY, int zoom)
{
    const Rect dest = Rect::ofSize(deviceX, deviceY, source.width() * zoom, source.height() * zoom);
    const Rect r = dest.intersection(state.clip);
    if (r.empty())
        return;
    const unsigned alpha = state.alpha;
    const bool opaque = !bitmap.transparent && alpha == 255;
    for (int y = r.top; y < r.bottom; ++y) {
        const Pixel* in = bitmap.row(source.top + (y - deviceY) / zoom) + source.left;
        Pixel* out = target.canvasRow(y);
        if (opaque && zoom == 1) {
            std::copy(in + (r.left - deviceX), in + (r.right - deviceX), out + r.left);
            continue;
        }
        for (int xo = r.left; xo < r.right; ++xo)
            out[xo] = blendOver(out[xo], in[(xo - deviceX) / zoom], alpha);
    }
    target.canvasChanged(r);
}

void Canvas::blendCoverage(const Rect& area, const float* coverage, Pixel colour)
{
    const Rect r = area.intersection(state.clip);
    if (r.empty())
        return;
    const unsigned a = mul255(alphaOf(colour), state.alpha);
    const Pixel c = withAlpha(colour, a);
    for (int y = r.top; y < r.bottom; ++y) {
        const float* cov = coverage + static_cast<std::size_t>(y - area.top) * area.width() - area.left;
        Pixel* out = target.canvasRow(y);
        for (int x = r.left; x < r.right; ++x) {
            const unsigned k = toByte(cov[x]);
            if (k)
                out[x] = blendOver(out[x], c, k);
        }
    }
    target.canvasChanged(r);
}

void Canvas::blendCoverage(const Rect& area, const float* coverage, const std::pair<int, int>* spans, Pixel colour)
{
    const Rect r = area.intersection(state.clip);
    if (r.empty())
        return;
    const unsigned a = mul255(alphaOf(colour), state.alpha);
    const Pixel c = withAlpha(colour, a);
    Rect changed;
    for (int y = r.top; y < r.bottom; ++y) {
        const auto [first, last] = spans[y - area.top];
        const int from = std::max(first, r.left), to = std::min(last, r.right);
        if (from >= to)
            continue;
        const float* cov = coverage + static_cast<std::size_t>(y - area.top) * area.width() - area.left;
        Pixel* out = target.canvasRow(y);
        for (int x = from; x < to; ++x) {
            const unsigned k = toByte(cov[x]);
            if (k)
                out[x] = blendOver(out[x], c, k);
        }
        changed = changed.unite({from, y, to, y + 1});
    }
    if (!changed.empty())
        target.canvasChanged(changed);
}

void Canvas::drawLine(PointF from, PointF to, float width, Pixel colour)
{
    const PointF points[] = {from, to};
    strokePolyline(points, width, colour);
}

void Canvas::strokePolyline(std::span<const PointF> points, float width, Pixel colour)
{
    if (points.empty())
        return;
    std::vector<PointF> device(points.size());
    float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
    for (std::size_t i = 0; i < points.size(); ++i) {
        device[i] = toDevice(points[i]);
        x0 = std::min(x0, device[i].x), y0 = std::min(y0, device[i].y);
        x1 = std::max(x1, device[i].x), y1 = std::max(y1, device[i].y);
    }
    const float half = 0.5f * std::max(width, 0.0f) * static_cast<float>(factor);
    const Rect area = boundsOf(x0 - half, y0 - half, x1 + half, y1 + half).intersection(state.clip);
    if (area.empty())
        return;
    // Coverage per pixel is that of the nearest segment, so joints where
    // segments overlap are not drawn twice. Each row remembers which columns
    // a segment reached: a long curve's bounding box is mostly empty, and
    // only what it touched is blended.
    scratch.assign(static_cast<std::size_t>(area.width()) * area.height(), 0.0f);
    rowSpans.assign(static_cast<std::size_t>(area.height()), {area.right, area.left});
    const std::size_t segments = device.size() > 1 ? device.size() - 1 : 1;
    for (std::size_t i = 0; i < segments; ++i) {
        const PointF a = device[i], b = device[std::min(i + 1, device.size() - 1)];
        const Rect box = boundsOf(std::min(a.x, b.x) - half, std::min(a.y, b.y) - half, std::max(a.x, b.x) + half,
                                  std::max(a.y, b.y) + half)
                             .intersection(area);
        for (int y = box.top; y < box.bottom; ++y) {
            float* cov = scratch.data() + static_cast<std::size_t>(y - area.top) * area.width() - area.left;
            auto& span = rowSpans[static_cast<std::size_t>(y - area.top)];
            span = {std::min(span.first, box.left), std::max(span.second, box.right)};
            for (int x = box.left; x < box.right; ++x) {
                const float d = distanceToSegment(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f, a, b);
                // A pixel wholly inside counts 1; the edge falls off over
                // one pixel. Lines thinner than a pixel fade instead.
                const float c = std::min(half + 0.5f - d, 1.0f) * std::min(2.0f * half, 1.0f);
                cov[x] = std::max(cov[x], c);
            }
        }
    }
    blendCoverage(area, scratch.data(), rowSpans.data(), colour);
}

void Canvas::strokeArc(PointF centre, float radius, float startTurns, float extentTurns, float width, Pixel colour)
{
    const float deviceRadius = radius * static_cast<float>(factor);
    const int steps = std::clamp(static_cast<int>(std::fabs(extentTurns) * deviceRadius * 2.0f), 2, 720);
    std::vector<PointF> points(static_cast<std::size_t>(steps) + 1);
    for (int i = 0; i <= steps; ++i) {
        const float turns = startTurns + extentTurns * static_cast<float>(i) / static_cast<float>(steps);
        const float angle = turns * 2.0f * std::numbers::pi_v<float>;
        points[i] = {centre.x + radius * std::sin(angle), centre.y - radius * std::cos(angle)};
    }
    strokePolyline(points, width, colour);
}

void Canvas::fillPolygon(std::span<const PointF> points, Pixel colour)
{
    if (points.size() < 3)
        return;
    std::vector<PointF> device(points.size());
    float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
    for (std::size_t i = 0; i < points.size(); ++i) {
        device[i] = toDevice(points[i]);
        x0 = std::min(x0, device[i].x), y0 = std::min(y0, device[i].y);
        x1 = std::max(x1, device[i].x), y1 = std::max(y1, device[i].y);
    }
    // Rows outside the clip do not matter, but every row is accumulated
    // from the polygon's own left edge: an edge cut at the clip would move
    // coverage within the row. (Bounded, for absurd coordinates.)
    const Rect box = boundsOf(x0, y0, x1, y1);
    const int reach = target.canvasWidth();
    const Rect area = Rect{std::max(box.left, state.clip.left - reach), std::max(box.top, state.clip.top),
                           std::min(box.right, state.clip.right + reach), std::min(box.bottom, state.clip.bottom)};
    if (area.empty() || !area.intersects(state.clip))
        return;
    const int w = area.width(), h = area.height();
    std::vector<float> acc(static_cast<std::size_t>(w + 2) * h, 0.0f);
    const float ox = static_cast<float>(area.left), oy = static_cast<float>(area.top);
    for (std::size_t i = 0; i < device.size(); ++i) {
        const PointF a = device[i], b = device[(i + 1) % device.size()];
        accumulateEdge(acc, w, h, {a.x - ox, a.y - oy}, {b.x - ox, b.y - oy});
    }
    scratch.resize(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        float sum = 0;
        const float* in = acc.data() + static_cast<std::size_t>(y) * (w + 2);
        float* out = scratch.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            sum += in[x];
            out[x] = std::min(std::fabs(sum), 1.0f);
        }
    }
    blendCoverage(area, scratch.data(), colour);
}

void Canvas::fillCircle(PointF centre, float radius, Pixel colour)
{
    const float deviceRadius = radius * static_cast<float>(factor);
    const int steps = std::clamp(static_cast<int>(deviceRadius * 4.0f), 12, 720);
    std::vector<PointF> points(static_cast<std::size_t>(steps));
    for (int i = 0; i < steps; ++i) {
        const float angle = 2.0f * std::numbers::pi_v<float> * static_cast<float>(i) / static_cast<float>(steps);
        points[i] = {centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)};
    }
    fillPolygon(points, colour);
}

void Canvas::drawText(Text& text, std::string_view utf8, const Rect& area, Pixel colour, Align align)
{
    Scope scope(*this);
    clipTo(area);
    if (state.clip.empty())
        return;
    const Rect box = toDevice(area);
    const int width = text.measure(utf8, factor);
    const int ascent = text.ascent(factor), descent = text.descent(factor);
    int x = box.left;
    if (align == Align::Center)
        x = box.left + (box.width() - width) / 2;
    else if (align == Align::Right)
        x = box.right - width;
    const int baseline = box.top + (box.height() - ascent - descent) / 2 + ascent;
    text.draw(*this, utf8, x, baseline, colour);
}

void Canvas::drawMask(int deviceX, int deviceY, const std::uint8_t* mask, int width, int height, int stride,
                      Pixel colour)
{
    const Rect r = Rect::ofSize(deviceX, deviceY, width, height).intersection(state.clip);
    if (r.empty())
        return;
    const unsigned a = mul255(alphaOf(colour), state.alpha);
    const Pixel c = withAlpha(colour, a);
    for (int y = r.top; y < r.bottom; ++y) {
        const std::uint8_t* in = mask + static_cast<std::size_t>(y - deviceY) * stride - deviceX;
        Pixel* out = target.canvasRow(y);
        for (int x = r.left; x < r.right; ++x)
            if (in[x])
                out[x] = blendOver(out[x], c, in[x]);
    }
    target.canvasChanged(r);
}

} // namespace gui
