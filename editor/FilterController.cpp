#include "editor/FilterController.h"

#include "editor/EditorImages.h"
#include "editor/EditorStyle.h"
#include "editor/GenericPluginInterface.h"
#include "effect/FilterParameterSet.h"
#include "framework/AbstractPluginParameter.h"
#include "gui/Canvas.h"
#include "gui/Input.h"
#include "gui/UserInterface.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

using namespace EditorStyle;

namespace {

constexpr float epsilon = valueChangeEpsilon;
constexpr float twoPi = 2.0f * std::numbers::pi_v<float>;
// The frequency grid: log2 of the frequencies at the inner area's edges.
constexpr double gridLow = 2.2666;
constexpr double gridHigh = 16.2064;

float wrapTurns(float t) { return t - std::floor(t); }

// The angle of a point around a centre in turns: 0 at the top, clockwise.
float angleAround(gui::PointF centre, gui::PointF p)
{
    const float dx = p.x - centre.x, dy = p.y - centre.y;
    if (std::fabs(dy) <= epsilon)
        return dx > 0 ? 0.25f : 0.75f;
    return wrapTurns(std::atan2(dy, dx) / twoPi + 0.25f);
}

float distance(gui::PointF a, gui::PointF b) { return std::hypot(a.x - b.x, a.y - b.y); }

int roundToInt(float v) { return static_cast<int>(std::lround(v)); }

std::string hertzText(double hz)
{
    char text[32];
    if (hz >= 10000.0)
        std::snprintf(text, sizeof text, "%.1f kHz", hz / 1000.0);
    else if (hz >= 1000.0)
        std::snprintf(text, sizeof text, "%.2f kHz", hz / 1000.0);
    else if (hz >= 100.0)
        std::snprintf(text, sizeof text, "%.0f Hz", hz);
    else
        std::snprintf(text, sizeof text, "%.1f Hz", hz);
    return text;
}

} // namespace

FilterController::FilterController(gui::Control& parent, const gui::Rect& area, GenericPluginInterface& editor,
                                   FilterParameterSetList& filters)
    : gui::Control(parent, area), frame(editor), filterList(filters),
      gridFont(userInterface().createText(captionFont())), readoutFont(userInterface().createText(valueFont()))
{
    const EditorImages& images = editor.images();
    for (std::size_t i = 0; i < tinted.size(); ++i) {
        tintBitmap(tinted[i].peak, images.peak, filterColours[i]);
        tintBitmap(tinted[i].peakActive, images.peakActive, filterColours[i]);
        tintBitmap(tinted[i].selected, images.selected, filterColours[i]);
        tintBitmap(tinted[i].selectedActive, images.selectedActive, filterColours[i]);
    }
    hint = "The filter display shows the response of every filter. Drag a filter's dot to set its frequency (left "
           "to right) and peak (bottom to top). Shift-click a dot to step its slope, Ctrl-click it to step its "
           "response.\n\nAlt-drag a linked filter to move all linked filters, Alt+Ctrl-drag to turn and scale them "
           "around their centre, or drag the link dot between them.";
    refresh();
}

FilterController::~FilterController() = default;

gui::Rect FilterController::innerArea() const { return {margin, margin, width() - margin, height() - margin}; }

gui::PointF FilterController::positionOf(float frequency, float peak) const
{
    const float w = static_cast<float>(width() - 2 * margin), h = static_cast<float>(height() - 2 * margin);
    return {static_cast<float>(margin) + w * frequency, static_cast<float>(margin) + h * (1.0f - peak)};
}

float FilterController::frequencyAt(float x) const
{
    const float w = static_cast<float>(width() - 2 * margin);
    return w > 0 ? std::clamp(x - static_cast<float>(margin), 0.0f, w) / w : 0.0f;
}

float FilterController::peakAt(float y) const
{
    const float h = static_cast<float>(height() - 2 * margin);
    return h > 0 ? std::clamp(static_cast<float>(margin) + h - y, 0.0f, h) / h : 0.0f;
}

float FilterController::gridX(double hertz) const
{
    const double w = width() - 2 * margin;
    return static_cast<float>(margin + (std::log2(hertz) - gridLow) * (w - 1.0) / (gridHigh - gridLow));
}

void FilterController::setActiveFilter(int filter)
{
    filter = std::clamp(filter, 0, std::max(0, static_cast<int>(dotList.size()) - 1));
    if (filter == active)
        return;
    active = filter;
    invalidate();
}

void FilterController::frameChanged()
{
    const ResponseCurve::Frame f = ResponseCurve::Frame::ofDisplay(width(), height(), margin);
    for (Dot& dot : dotList) {
        dot.curve.setFrame(f);
        placeDot(dot);
    }
    updateLinks();
}

void FilterController::refresh()
{
    readDots();
    invalidate();
}

void FilterController::readDots()
{
    const int count = std::clamp(filterList.getNumActive(), 1, filterList.count());
    const bool resized = static_cast<int>(dotList.size()) != count;
    if (resized) {
        // A filter came or went: a drag of the old set of dots ends here.
        if (dragging)
            endEdits();
        dotList.resize(static_cast<std::size_t>(count));
        hovered = -1;
        grabbed = 0;
    }
    const ResponseCurve::Frame f = ResponseCurve::Frame::ofDisplay(width(), height(), margin);
    for (int i = 0; i < count; ++i) {
        Dot& dot = dotList[static_cast<std::size_t>(i)];
        const FilterParameterSet& set = filterList[i];
        const bool fresh = resized || dot.frequencyParameter != set.freq.getIndex();
        dot.filter = i;
        dot.frequencyParameter = set.freq.getIndex();
        dot.peakParameter = set.peak.getIndex();
        dot.slopeParameter = set.slope.getIndex();
        dot.responseParameter = set.response.getIndex();
        dot.linked = set.linked.getValue() >= 0.5f;
        dot.enabled = set.enabled.getValue() >= 0.5f;
        const float frequency = set.freq.getNormalized();
        const float peak = set.peak.getNormalized();
        const int response = static_cast<int>(std::lround(set.response.getValue()));
        const int slope = static_cast<int>(std::lround(set.slope.getValue()));
        if (fresh) {
            dot.curve.setFrame(f);
            dot.curve.setResponse(response);
            dot.curve.setSlopeIndex(slope);
            dot.curve.setFrequency(frequency);
            dot.curve.setPeak(peak);
        } else {
            // Only what changed, so a move shifts the curve and a new peak
            // refits the pieces at the peak point.
            if (response != dot.response)
                dot.curve.setResponse(response);
            if (slope != dot.slope)
                dot.curve.setSlopeIndex(slope);
            if (valueDiffers(frequency, dot.frequency))
                dot.curve.setFrequency(frequency);
            if (valueDiffers(peak, dot.peak))
                dot.curve.setPeak(peak);
        }
        dot.response = response;
        dot.slope = slope;
        dot.frequency = frequency;
        dot.peak = peak;
        placeDot(dot);
    }
    active = std::clamp(active, 0, count - 1);
    updateLinks();
}

void FilterController::placeDot(Dot& dot)
{
    dot.position = positionOf(dot.frequency, dot.peak);
    const gui::Bitmap& image = frame.images().peak;
    dot.rect = gui::Rect::ofSize(roundToInt(dot.position.x) - image.width() / 2,
                                 roundToInt(dot.position.y) - image.height() / 2, image.width(), image.height());
}

void FilterController::updateLinks()
{
    linkedMask = 0;
    linkedCount = 0;
    gui::PointF sum;
    for (const Dot& dot : dotList)
        if (dot.linked) {
            linkedMask |= 1u << dot.filter;
            ++linkedCount;
            sum.x += dot.position.x;
            sum.y += dot.position.y;
        }
    if (linkedCount >= 2) {
        centre = {sum.x / static_cast<float>(linkedCount), sum.y / static_cast<float>(linkedCount)};
        const gui::Bitmap& image = frame.images().mid;
        linkRect = gui::Rect::ofSize(roundToInt(centre.x) - image.width() / 2, roundToInt(centre.y) - image.height() / 2,
                                     image.width(), image.height());
    } else {
        linkRect = {};
    }
}

float FilterController::placeForNewFilter(int response) const
{
    const float start = response == 1 ? 0.0f : response == 2 ? 0.5f : 1.0f;
    const float step = response == 0 || response > 2 ? -0.01f : 0.01f;
    const gui::Bitmap& image = frame.images().peak;
    const float bottom = positionOf(0.0f, 0.0f).y;
    for (int i = 0; i < 100; ++i) {
        const float candidate = start + step * static_cast<float>(i);
        const float x = positionOf(candidate, 0.0f).x;
        const gui::Rect rect = gui::Rect::ofSize(roundToInt(x) - image.width() / 2, roundToInt(bottom) - image.height() / 2,
                                                 image.width(), image.height());
        if (std::none_of(dotList.begin(), dotList.end(), [&](const Dot& d) { return d.rect.intersects(rect); }))
            return std::clamp(candidate, 0.0f, 1.0f);
    }
    return start;
}

// --- Hit testing ---

const gui::Bitmap& FilterController::imageOf(const Dot& dot) const
{
    const DotImages& images = tinted[static_cast<std::size_t>(dot.filter) % tinted.size()];
    const bool lit = (grabbed >> dot.filter & 1u) || dot.filter == hovered;
    if (dot.filter == active)
        return lit ? images.selectedActive : images.selected;
    return lit ? images.peakActive : images.peak;
}

bool FilterController::hitsImage(const gui::Bitmap& image, const gui::Rect& rect, gui::Point local) const
{
    if (!rect.contains(local))
        return false;
    return gui::alphaOf(image.pixelAt(local.x - rect.left, local.y - rect.top)) > 64;
}

bool FilterController::hitTest(gui::Point local, int modifiers)
{
    const unsigned before = grabbed;
    const int hoveredBefore = hovered;
    const bool linkBefore = linkDotHovered;
    hovered = -1;
    linkDotHovered = false;
    polar = false;
    grabbed = 0;
    const EditorImages& images = frame.images();
    if (linkedCount >= 2 && hitsImage(images.mid, linkRect, local)) {
        linkDotHovered = true;
        grabbed = linkedMask;
    } else {
        int hit = -1;
        if (active < static_cast<int>(dotList.size()) &&
            hitsImage(images.selected, dotList[static_cast<std::size_t>(active)].rect, local))
            hit = active;
        for (std::size_t i = 0; hit < 0 && i < dotList.size(); ++i)
            if (hitsImage(images.peak, dotList[i].rect, local))
                hit = static_cast<int>(i);
        if (hit >= 0) {
            hovered = hit;
            const Dot& dot = dotList[static_cast<std::size_t>(hit)];
            if (dot.linked && (modifiers & gui::Modifier::Alt)) {
                grabbed = linkedMask;
                polar = (modifiers & gui::Modifier::Control) != 0;
            } else {
                grabbed = 1u << hit;
            }
        }
    }
    if (grabbed != before || hovered != hoveredBefore || linkDotHovered != linkBefore)
        invalidate();
    return grabbed != 0;
}

// --- Mouse ---

void FilterController::mouseDown(gui::MouseButton button, gui::Point local, int modifiers)
{
    gui::Control::mouseDown(button, local, modifiers);
    if (button != gui::MouseButton::Left)
        return;
    downPoint = local;
    dragOffset = {};
    toggleClick = false;
    if (!hitTest(local, modifiers))
        return;
    dragging = true;
    if (!(modifiers & gui::Modifier::Alt) && hovered >= 0 && !linkDotHovered) {
        Dot& dot = dotList[static_cast<std::size_t>(hovered)];
        if (modifiers & gui::Modifier::Control) {
            dot.edit = responseEdit;
            frame.beginEdit(dot.responseParameter);
            frame.setParameter(dot.responseParameter, static_cast<float>((dot.response + 1) % 3));
            toggleClick = true;
        } else if (modifiers & gui::Modifier::Shift) {
            dot.edit = slopeEdit;
            frame.beginEdit(dot.slopeParameter);
            frame.setParameter(dot.slopeParameter, static_cast<float>(dot.slope % 3 + 1));
            toggleClick = true;
        }
        if (toggleClick) {
            grabbed = 1u << hovered;
            readDots();
            invalidate();
            return;
        }
    }
    grabCentre = centre;
    for (Dot& dot : dotList) {
        if (!(grabbed >> dot.filter & 1u))
            continue;
        dot.edit = frequencyAndPeak;
        frame.beginEdit(dot.frequencyParameter);
        frame.beginEdit(dot.peakParameter);
        dot.grab = dot.position;
        if (polar) {
            dot.radius = distance(grabCentre, dot.position);
            dot.angle = angleAround(grabCentre, dot.position);
        }
    }
    invalidate();
}

void FilterController::mouseMove(gui::Point local, int modifiers)
{
    gui::Control::mouseMove(local, modifiers);
    if (!dragging) {
        if (!(modifiers & (gui::Modifier::LeftButton | gui::Modifier::RightButton | gui::Modifier::MiddleButton)))
            hitTest(local, modifiers);
        return;
    }
    if (toggleClick)
        return;
    dragTo(local);
}

void FilterController::moveDot(Dot& dot, gui::PointF to)
{
    const float frequency = frequencyAt(to.x);
    const float peak = peakAt(to.y);
    if (std::fabs(frequency - dot.frequency) > epsilon)
        frame.setParameterNormalized(dot.frequencyParameter, frequency);
    if (std::fabs(peak - dot.peak) > epsilon)
        frame.setParameterNormalized(dot.peakParameter, peak);
}

void FilterController::dragTo(gui::Point local)
{
    dragOffset = local - downPoint;
    const gui::PointF offset{static_cast<float>(dragOffset.x), static_cast<float>(dragOffset.y)};
    if (!polar || hovered < 0) {
        for (Dot& dot : dotList)
            if (dot.edit == frequencyAndPeak)
                moveDot(dot, {dot.grab.x + offset.x, dot.grab.y + offset.y});
    } else {
        // The dot in the hand goes where the mouse takes it; the others turn
        // by the same angle and scale by the same ratio around the centre.
        Dot& lead = dotList[static_cast<std::size_t>(hovered)];
        const gui::PointF to{lead.grab.x + offset.x, lead.grab.y + offset.y};
        const float turn = angleAround(grabCentre, to) - lead.angle;
        const float ratio = lead.radius <= epsilon ? 0.0f : distance(grabCentre, to) / lead.radius;
        for (Dot& dot : dotList) {
            if (dot.edit != frequencyAndPeak)
                continue;
            if (&dot == &lead) {
                moveDot(dot, to);
                continue;
            }
            const float a = wrapTurns(dot.angle + turn - 0.25f) * twoPi;
            const float r = dot.radius * ratio;
            moveDot(dot, {grabCentre.x + r * std::cos(a), grabCentre.y + r * std::sin(a)});
        }
    }
    readDots();
    invalidate();
}

void FilterController::endEdits()
{
    for (Dot& dot : dotList) {
        switch (dot.edit) {
        case frequencyAndPeak:
            frame.endEdit(dot.frequencyParameter);
            frame.endEdit(dot.peakParameter);
            break;
        case slopeEdit:
            frame.endEdit(dot.slopeParameter);
            break;
        case responseEdit:
            frame.endEdit(dot.responseParameter);
            break;
        default:
            break;
        }
        dot.edit = noEdit;
    }
    dragging = false;
    toggleClick = false;
}

void FilterController::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    if (button == gui::MouseButton::Left && dragging) {
        endEdits();
        frame.gestureEnded();
        hitTest(local, modifiers);
        invalidate();
    }
    gui::Control::mouseUp(button, local, modifiers);
}

void FilterController::mouseLeft()
{
    if (!dragging && (hovered >= 0 || linkDotHovered || grabbed)) {
        hovered = -1;
        linkDotHovered = false;
        grabbed = 0;
        invalidate();
    }
    gui::Control::mouseLeft();
}

// --- Drawing ---

void FilterController::paintGrid(gui::Canvas& canvas)
{
    const gui::Rect inner = innerArea();
    const float top = static_cast<float>(inner.top), bottom = static_cast<float>(inner.bottom);
    // Nine lines per decade from 10 Hz to 90 kHz, the decades brighter, and
    // one line at 1 Hz.
    for (double decade = 10.0; decade <= 10000.0; decade *= 10.0)
        for (int k = 1; k <= 9; ++k) {
            // On a pixel's centre, so a one-unit line stays one crisp pixel.
            const float x = std::floor(gridX(decade * k)) + 0.5f;
            if (x < static_cast<float>(inner.left) || x > static_cast<float>(inner.right))
                continue;
            canvas.drawLine({x, top}, {x, bottom}, 1.0f, k == 1 ? gridDecade : gridLine);
        }
    const float one = std::floor(gridX(1.0)) + 0.5f;
    if (one >= static_cast<float>(inner.left))
        canvas.drawLine({one, top}, {one, bottom}, 1.0f, gridLine);
    // The pass band's level.
    const float flat =
        static_cast<float>(margin + ResponseCurve::Frame::ofDisplay(width(), height(), margin).flatLevel) + 0.5f;
    canvas.drawLine({static_cast<float>(inner.left), flat}, {static_cast<float>(inner.right), flat}, 1.0f, flatLine);
    struct Mark {
        double hz;
        const char* text;
    };
    static constexpr Mark marks[] = {{20, "20"},    {50, "50"},   {100, "100"}, {200, "200"},  {500, "500"},
                                     {1000, "1k"},  {2000, "2k"}, {5000, "5k"}, {10000, "10k"}, {20000, "20k"}};
    for (const Mark& m : marks) {
        const int x = roundToInt(gridX(m.hz));
        canvas.drawText(*gridFont, m.text, gui::Rect{x + 3, inner.bottom - 12, x + 40, inner.bottom - 1}, gridText);
    }
}

void FilterController::paintCurve(gui::Canvas& canvas, const Dot& dot)
{
    const gui::Rect inner = innerArea();
    const float step = 1.0f / static_cast<float>(canvas.scale());
    const float dotX = static_cast<float>(dot.curve.dotX());
    std::vector<gui::PointF> points;
    points.reserve(static_cast<std::size_t>(inner.width() * canvas.scale() + 8));
    for (int s = 0; s < dot.curve.segmentCount(); ++s) {
        const ResponseCurve::Segment& segment = dot.curve.segment(s);
        const float from = std::max(static_cast<float>(segment.start), static_cast<float>(inner.left));
        const float to = std::min(static_cast<float>(segment.end), static_cast<float>(inner.right));
        for (float x = from; x <= to; x += step) {
            const double y = segment.cubic.valueAt(static_cast<double>(x - dotX));
            // Far below the area the curve is clipped anyway; keep it close
            // so the stroke's geometry stays small.
            const float clamped = static_cast<float>(std::clamp(y, -4.0, static_cast<double>(inner.height() + 4)));
            points.push_back({x, static_cast<float>(margin) + clamped});
        }
    }
    if (points.size() < 2)
        return;
    const bool isActive = dot.filter == active;
    const bool isGrabbed = (grabbed >> dot.filter & 1u) != 0;
    gui::Pixel colour = filterColours[static_cast<std::size_t>(dot.filter) % filterColours.size()];
    unsigned alpha = isActive || isGrabbed ? 255 : 150;
    if (!dot.enabled)
        alpha = alpha * 2 / 5;
    if (isActive && dot.enabled) {
        std::vector<gui::PointF> area = points;
        area.push_back({points.back().x, static_cast<float>(inner.bottom)});
        area.push_back({points.front().x, static_cast<float>(inner.bottom)});
        canvas.fillPolygon(area, gui::withAlpha(colour, 30));
    }
    canvas.strokePolyline(points, isGrabbed ? 2.4f : isActive ? 2.0f : 1.5f, gui::withAlpha(colour, alpha));
}

void FilterController::paintReadout(gui::Canvas& canvas, const Dot& dot)
{
    const double hz = std::exp2(gridLow + (gridHigh - gridLow) * static_cast<double>(dot.frequency));
    char peakText[16];
    std::snprintf(peakText, sizeof peakText, "%.2f", static_cast<double>(dot.peak));
    const std::string text = hertzText(hz) + "   Peak " + peakText;
    const int w = 118, h = 15;
    int x = roundToInt(dot.position.x) + 12;
    int y = roundToInt(dot.position.y) - h - 8;
    if (x + w > width() - margin)
        x = roundToInt(dot.position.x) - 12 - w;
    if (y < margin)
        y = roundToInt(dot.position.y) + 10;
    const gui::Rect box = gui::Rect::ofSize(x, y, w, h);
    canvas.fillRect(box, gui::rgba(14, 16, 20, 210));
    canvas.frameRect(box, gui::withAlpha(filterColours[static_cast<std::size_t>(dot.filter) % 4], 150));
    canvas.drawText(*readoutFont, text, box.inset(1), EditorStyle::text, gui::Align::Center);
}

void FilterController::paint(gui::Canvas& canvas)
{
    gui::Canvas::Scope scope(canvas);
    canvas.clipTo(innerArea());
    paintGrid(canvas);
    for (auto it = dotList.rbegin(); it != dotList.rend(); ++it)
        if (it->filter != active)
            paintCurve(canvas, *it);
    if (active < static_cast<int>(dotList.size()))
        paintCurve(canvas, dotList[static_cast<std::size_t>(active)]);
    canvas.clipTo({0, 0, width(), height()});
    if (linkedCount >= 2)
        for (const Dot& dot : dotList)
            if (dot.linked)
                canvas.drawLine(dot.position, centre, 1.0f, linkLine);
    for (const Dot& dot : dotList) {
        gui::Canvas::Scope dim(canvas);
        if (!dot.enabled)
            canvas.multiplyAlpha(120);
        canvas.drawBitmap(imageOf(dot), dot.rect.left, dot.rect.top);
    }
    if (linkedCount >= 2) {
        const EditorImages& images = frame.images();
        const bool lit = linkDotHovered || (dragging && grabbed == linkedMask && hovered < 0);
        canvas.drawBitmap(lit ? images.midActive : images.mid, linkRect.left, linkRect.top);
    }
    if (hovered >= 0 && hovered < static_cast<int>(dotList.size()))
        paintReadout(canvas, dotList[static_cast<std::size_t>(hovered)]);
}
