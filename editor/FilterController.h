#pragma once

#include "filters/ResponseCurve.h"
#include "gui/Bitmap.h"
#include "gui/Control.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace gui {
class Text;
}
class FilterParameterSetList;
class GenericPluginInterface;

// The filter display: every filter's response curve and one dot per filter,
// dragged to set its cut-off (left to right) and peak (bottom to top).
// Shift-click on a dot steps its slope, Ctrl-click its response, and neither
// moves it. Linked filters get a link dot at their centre that moves them
// all; Alt-dragging a linked filter's dot moves the whole group, and
// Alt+Ctrl-dragging turns and scales the group around its centre.
//
// The display holds no values of its own: its dots mirror the filters'
// parameters and every move becomes parameter changes through the editor
// frame, begun and ended as one gesture per drag, so the host records one
// automation pass and the undo history one step.
class FilterController : public gui::Control {
public:
    using Curve = ResponseCurve;

    static constexpr int margin = 10;
    // Edit kinds of a dot's gesture.
    enum EditKind { noEdit = 0, frequencyAndPeak = 1, slopeEdit = 2, responseEdit = 3 };

    struct Dot {
        int filter = 0;
        float frequency = 0; // normalized 0..1
        float peak = 0;      // normalized 0..1
        bool linked = false;
        bool enabled = true;
        int response = 0; // 0 LP, 1 HP, 2 BP
        int slope = 1;    // 1 = 12, 2 = 24, 3 = 48 dB per octave
        int frequencyParameter = -1;
        int peakParameter = -1;
        int slopeParameter = -1;
        int responseParameter = -1;
        gui::PointF position; // in the display
        gui::Rect rect;       // the dot image's area, centred on the position
        // At grab time.
        gui::PointF grab;
        float radius = 0;
        float angle = 0;
        int edit = noEdit;
        Curve curve;
    };

    // The images are the editor's dot images (white; tinted here per filter).
    FilterController(gui::Control& parent, const gui::Rect& frame, GenericPluginInterface& editor,
                     FilterParameterSetList& filters);
    ~FilterController() override;

    // The filter whose knobs the editor shows; its dot is drawn with the
    // selected image.
    int activeFilter() const { return active; }
    void setActiveFilter(int filter);

    // Reads the dots again from the parameters (after any of them changed)
    // and redraws.
    void refresh();

    const std::vector<Dot>& dots() const { return dotList; }
    int dotUnderMouse() const { return hovered; }
    unsigned grabMask() const { return grabbed; }
    unsigned linkMask() const { return linkedMask; }
    int linkCount() const { return linkedCount; }
    gui::PointF linkCentre() const { return centre; }
    bool polarDrag() const { return polar; }

    // The normalized frequency at which a new filter of `response` starts:
    // the first place along the bottom line whose dot covers no other dot
    // (from the left for a high-pass, from the middle for a band-pass, from
    // the right for a low-pass).
    float placeForNewFilter(int response) const;

    // Display mapping: a dot's position from its normalized values, and back
    // (clamped to the inner area).
    gui::PointF positionOf(float frequency, float peak) const;
    float frequencyAt(float x) const;
    float peakAt(float y) const;
    // Where a frequency in hertz lies on the grid.
    float gridX(double hertz) const;

    void paint(gui::Canvas& canvas) override;
    void mouseDown(gui::MouseButton button, gui::Point local, int modifiers) override;
    void mouseMove(gui::Point local, int modifiers) override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;
    void mouseLeft() override;

protected:
    void frameChanged() override;

private:
    struct DotImages {
        gui::Bitmap peak, peakActive, selected, selectedActive;
    };

    void readDots();
    void updateLinks();
    void placeDot(Dot& dot);
    // Runs the hit test at a point; sets hovered, the grab mask and the
    // polar flag from it and the modifiers. True when something was hit.
    bool hitTest(gui::Point local, int modifiers);
    bool hitsImage(const gui::Bitmap& image, const gui::Rect& rect, gui::Point local) const;
    const gui::Bitmap& imageOf(const Dot& dot) const;
    void moveDot(Dot& dot, gui::PointF to);
    void dragTo(gui::Point local);
    void endEdits();
    void paintGrid(gui::Canvas& canvas);
    void paintCurve(gui::Canvas& canvas, const Dot& dot);
    void paintReadout(gui::Canvas& canvas, const Dot& dot);
    gui::Rect innerArea() const;

    GenericPluginInterface& frame;
    FilterParameterSetList& filterList;
    std::array<DotImages, 4> tinted;
    std::unique_ptr<gui::Text> gridFont;
    std::unique_ptr<gui::Text> readoutFont;

    std::vector<Dot> dotList;
    int active = 0;
    int hovered = -1;
    bool linkDotHovered = false;
    unsigned grabbed = 0;
    unsigned linkedMask = 0;
    int linkedCount = 0;
    gui::PointF centre;
    gui::PointF grabCentre;
    gui::Rect linkRect;
    bool polar = false;
    bool dragging = false;
    bool toggleClick = false;
    gui::Point downPoint;
    gui::Point dragOffset;
};
