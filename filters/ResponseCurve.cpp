#include "filters/ResponseCurve.h"

#include <algorithm>

CubicPolynomial CubicPolynomial::fit(double x0, double y0, double s0, double x1, double y1, double s1)
{
    CubicPolynomial p;
    const double h = x1 - x0;
    if (h == 0.0) {
        p.a = {y0, 0.0, 0.0, 0.0};
        return p;
    }
    // Around x0 first: c0 + c1 v + c2 v^2 + c3 v^3 with v = u - x0.
    const double secant = (y1 - y0) / h;
    const double c0 = y0;
    const double c1 = s0;
    const double c2 = (3.0 * secant - 2.0 * s0 - s1) / h;
    const double c3 = (s0 + s1 - 2.0 * secant) / (h * h);
    // Then expanded in powers of u.
    p.a[0] = c0 - x0 * (c1 - x0 * (c2 - x0 * c3));
    p.a[1] = c1 - x0 * (2.0 * c2 - 3.0 * x0 * c3);
    p.a[2] = c2 - 3.0 * x0 * c3;
    p.a[3] = c3;
    return p;
}

ResponseCurve::Frame ResponseCurve::Frame::ofDisplay(int width, int height, int margin)
{
    Frame f;
    f.margin = margin;
    f.innerWidth = std::max(0, width - 2 * margin);
    f.innerHeight = std::max(0, height - 2 * margin);
    f.flatLevel = std::max(0, height / 2 - margin);
    return f;
}

double ResponseCurve::slopeWidth(int slopeIndex)
{
    switch (slopeIndex) {
    case 0: return 1.0;
    case 1: return 0.5;
    case 2: return 0.33;
    default: return 0.2;
    }
}

int ResponseCurve::dotX() const { return area.margin + static_cast<int>(frequency * area.innerWidth); }
int ResponseCurve::peakY() const { return static_cast<int>((1.0 - peak) * area.flatLevel); }
int ResponseCurve::rollOffWidth() const { return static_cast<int>(area.innerWidth * slopeWidth(slopeIndex)); }
int ResponseCurve::riseWidth() const { return static_cast<int>(0.2 * area.innerWidth); }

void ResponseCurve::setFrame(const Frame& frame)
{
    area = frame;
    rebuild();
}

void ResponseCurve::setFrequency(double normalized)
{
    frequency = std::clamp(normalized, 0.0, 1.0);
    place();
}

void ResponseCurve::setPeak(double normalized)
{
    const double p = std::clamp(normalized, 0.0, 1.0);
    if (p == peak)
        return;
    peak = p;
    refitPeak();
}

void ResponseCurve::setResponse(int r)
{
    response = std::clamp(r, 0, 2);
    rebuild();
}

void ResponseCurve::setSlopeIndex(int s)
{
    slopeIndex = std::clamp(s, 0, 3);
    rebuild();
}

void ResponseCurve::setPiece(int i, double x0, double y0, double s0, double x1, double y1, double s1)
{
    Segment& s = pieces[static_cast<std::size_t>(i)];
    s.from = x0;
    s.to = x1;
    s.cubic = CubicPolynomial::fit(x0, y0, s0, x1, y1, s1);
}

// The pieces that end at the peak point, for the current response:
// low-pass the rise and the roll-off, high-pass the roll-off and the fall
// back to the flat line, band-pass both flanks.
void ResponseCurve::refitPeak()
{
    const double w = slopeWidth(slopeIndex);
    const double d = rollOffWidth();
    const double m = riseWidth();
    const double flat = area.flatLevel;
    const double below = static_cast<int>(1.1 * area.innerHeight);
    const double yp = peakY();
    const double p = peak;
    switch (response) {
    case 1: // high-pass
        setPiece(0, -d, below, 2.0 * w, 0.0, yp, -2.0 * p / w);
        setPiece(1, 0.0, yp, 2.5 * p, m, flat, 0.0);
        break;
    case 2: // band-pass
        setPiece(0, -d, below, 2.0 * w, 0.0, yp, -2.5 * p);
        setPiece(1, 0.0, yp, 2.5 * p, d, below, -2.0 * w);
        break;
    default: // low-pass
        setPiece(1, -m, flat, 0.0, 0.0, yp, -2.5 * p);
        setPiece(2, 0.0, yp, 2.0 * p / w, d, below, -2.0 * w);
        break;
    }
    place();
}

void ResponseCurve::rebuild()
{
    const double flat = area.flatLevel;
    const double farOut = 5.0 * area.innerHeight;
    switch (response) {
    case 1:
        count = 3;
        setPiece(2, riseWidth(), flat, 0.0, farOut, flat, 0.0);
        break;
    case 2:
        count = 2;
        break;
    default:
        count = 3;
        setPiece(0, -farOut, flat, 0.0, -riseWidth(), flat, 0.0);
        break;
    }
    refitPeak();
}

void ResponseCurve::place()
{
    const double x = dotX();
    for (int i = 0; i < count; ++i) {
        Segment& s = pieces[static_cast<std::size_t>(i)];
        s.start = x + s.from;
        s.end = x + s.to;
    }
}
