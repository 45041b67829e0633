#pragma once

#include <array>

// The stylised response of one filter as the editor's filter display draws
// it: not measured and not derived from the filter's coefficients, but a
// shape of at most three cubic pieces whose end points and end slopes follow
// the response (low-pass, high-pass, band-pass), the slope and the peak,
// placed at the filter's dot. Pure geometry in pixels (x to the right, y
// downwards, relative to the display's inner area); the display decides how
// to stroke it.
//
// The shape keeps its pieces relative to the dot, so moving the dot along
// the frequency axis only shifts their x-ranges; a new peak refits the
// pieces that end at the peak point; anything else rebuilds the whole shape.

// y(u) = a0 + a1 u + a2 u^2 + a3 u^3.
struct CubicPolynomial {
    std::array<double, 4> a{};

    double valueAt(double u) const { return a[0] + u * (a[1] + u * (a[2] + u * a[3])); }
    double slopeAt(double u) const { return a[1] + u * (2.0 * a[2] + u * 3.0 * a[3]); }

    // The cubic through (x0, y0) with slope s0 and (x1, y1) with slope s1
    // (a Hermite segment written as a polynomial in u). When x0 and x1
    // coincide there is no room for a curve: the constant y0.
    static CubicPolynomial fit(double x0, double y0, double s0, double x1, double y1, double s1);
};

class ResponseCurve {
public:
    static constexpr int maxSegments = 3;

    // The display's inner area, in pixels.
    struct Frame {
        int margin = 10;     // from the display's edge to the inner area
        int innerWidth = 0;  // W: display width minus twice the margin
        int innerHeight = 0; // B: display height minus twice the margin
        int flatLevel = 0;   // H: the pass band's line, half the display height minus the margin

        // The frame of a display of the given size.
        static Frame ofDisplay(int width, int height, int margin);
    };

    // One piece: the cubic in u = x - dot x, drawn from start to end
    // (absolute pixels of the display, start < end).
    struct Segment {
        double start = 0;
        double end = 0;
        CubicPolynomial cubic;
        // start and end relative to the dot; the x-range follows the dot.
        double from = 0;
        double to = 0;
    };

    // Response indices as the filter's parameter: 0 low-pass, 1 high-pass,
    // 2 band-pass. Slope index: 1 = 12, 2 = 24, 3 = 48 dB per octave (0, the
    // widest roll-off, is not a filter setting but shapes like one).
    ResponseCurve() { rebuild(); }

    void setFrame(const Frame& frame);
    // 0..1 along the inner width.
    void setFrequency(double normalized);
    // 0..1: 0 puts the peak point on the flat line, 1 at the top.
    void setPeak(double normalized);
    void setResponse(int response);
    void setSlopeIndex(int slope);

    const Frame& frame() const { return area; }
    int segmentCount() const { return count; }
    const Segment& segment(int i) const { return pieces[static_cast<std::size_t>(i)]; }

    // The dot's x in display pixels: margin + int(frequency x W).
    int dotX() const;
    // The peak point's height in inner-area pixels: int((1 - peak) x H).
    int peakY() const;
    // How far the roll-off reaches from the dot: int(W x slope width).
    int rollOffWidth() const;
    // How far before the peak the curve leaves the flat line: int(0.2 x W).
    int riseWidth() const;

    // The slope width factor of a slope index (1.0, 0.5, 0.33, 0.2).
    static double slopeWidth(int slopeIndex);

private:
    void rebuild();
    void refitPeak();
    void place();
    void setPiece(int i, double x0, double y0, double s0, double x1, double y1, double s1);

    Frame area;
    double frequency = 0.5;
    double peak = 0.0;
    int response = 0;
    int slopeIndex = 1;
    int count = 0;
    std::array<Segment, maxSegments> pieces{};
};
