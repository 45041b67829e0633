#pragma once

#include "gui/Geometry.h"
#include "gui/Pixel.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace gui {

class Bitmap;
class Text;

enum class Align { Left, Center, Right };

// Draws into the pixels of its owner (usually a bitmap). Callers speak in the
// editor's 1x units; the canvas draws at its scale (1, or 2 on a HiDPI
// screen), so lines, curves and text use the full resolution and bitmaps come
// from their double-size version where they have one. Every drawing is
// limited to the clip rectangle, shifted by the origin and multiplied by the
// current alpha; the owner hears which device area changed.
class Canvas {
    struct State {
        Point origin; // in 1x units
        Rect clip;    // device pixels of the surface
        unsigned alpha = 255;
    };

public:
    // The surface a canvas draws on, in device pixels.
    class Owner {
    public:
        virtual int canvasWidth() const = 0;
        virtual int canvasHeight() const = 0;
        // Row y of the pixels, for drawing many at once.
        virtual Pixel* canvasRow(int y) = 0;
        // 0 outside.
        virtual Pixel readPixel(int x, int y) const = 0;
        // Ignored outside.
        virtual void writePixel(int x, int y, Pixel p) = 0;
        virtual void canvasChanged(const Rect& deviceArea) = 0;

    protected:
        ~Owner() = default;
    };

    explicit Canvas(Owner& owner, int scale = 1);

    int scale() const { return factor; }
    Owner& owner() { return target; }

    // Drawing state: origin, clip and alpha. A Scope restores it when it ends,
    // so a control can shift and clip for its children and leave the canvas
    // as it found it.
    class Scope {
    public:
        explicit Scope(Canvas& c) : canvas(c), saved(c.state) {}
        ~Scope() { canvas.state = saved; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        Canvas& canvas;
        State saved;
    };

    void translate(int dx, int dy);
    // Narrows the clip to `area` (in current coordinates).
    void clipTo(const Rect& area);
    // Multiplies the alpha of everything drawn from now on by a / 255.
    void multiplyAlpha(unsigned a);
    // The clip in current coordinates (rounded outwards at scale 2).
    Rect clipBounds() const;
    bool clipEmpty() const { return state.clip.empty(); }
    Point origin() const { return state.origin; }

    void fillRect(const Rect& area, Pixel colour);
    // A one-unit frame just inside `area`.
    void frameRect(const Rect& area, Pixel colour);

    // The whole bitmap with its top-left corner at (x, y), its alpha over
    // what is there.
    void drawBitmap(const Bitmap& bitmap, int x, int y);
    // The part `source` (in the bitmap's 1x pixels) at (x, y): frames of a
    // strip, or part of a background.
    void drawBitmap(const Bitmap& bitmap, const Rect& source, int x, int y);

    // Anti-aliased strokes of the given width.
    void drawLine(PointF from, PointF to, float width, Pixel colour);
    void strokePolyline(std::span<const PointF> points, float width, Pixel colour);
    // An arc around `centre` from `startTurns` over `extentTurns` (turns,
    // 0 at the top, clockwise).
    void strokeArc(PointF centre, float radius, float startTurns, float extentTurns, float width, Pixel colour);

    // Anti-aliased fills (non-zero winding).
    void fillPolygon(std::span<const PointF> points, Pixel colour);
    void fillCircle(PointF centre, float radius, Pixel colour);

    // Text in `area`, vertically centred, clipped to the area.
    void drawText(Text& text, std::string_view utf8, const Rect& area, Pixel colour, Align align = Align::Left);

    // A coverage mask (0..255 per device pixel) in `colour`, its top left
    // at device pixel (x, y) of the surface (origin not applied). For text.
    void drawMask(int deviceX, int deviceY, const std::uint8_t* mask, int width, int height, int stride,
                  Pixel colour);

    // Point p in device pixels of the surface (origin and scale applied).
    PointF toDevice(PointF p) const
    {
        return {(p.x + float(state.origin.x)) * float(factor), (p.y + float(state.origin.y)) * float(factor)};
    }

private:
    Rect toDevice(const Rect& r) const;
    // Blends `coverage` (float 0..1 per pixel of `area`, in device pixels)
    // in `colour`.
    void blendCoverage(const Rect& area, const float* coverage, Pixel colour);
    // Same, but only the columns from spans[row].first to spans[row].second
    // (exclusive) of each row hold coverage; the rest is skipped.
    void blendCoverage(const Rect& area, const float* coverage, const std::pair<int, int>* spans, Pixel colour);
    void drawBitmapPixels(const Bitmap& bitmap, const Rect& source, int deviceX, int deviceY, int zoom);

    Owner& target;
    int factor;
    State state;
    std::vector<float> scratch;
    std::vector<std::pair<int, int>> rowSpans;
};

} // namespace gui
