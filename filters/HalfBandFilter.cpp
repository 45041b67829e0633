#include "filters/HalfBandFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace halfband {

// The elliptic half-band filter's poles lie on the imaginary axis; each
// pair gives one allpass coefficient. With the pass band ending at wp (and
// the stop band starting at pi - wp, at the higher rate), the selectivity is
// k = tan^2(wp / 2); the poles follow from the elliptic functions of k,
// evaluated through the nome q by their rapidly converging theta series.
std::vector<double> design(int count, double transition)
{
    const double pi = std::numbers::pi;
    const double wp = (0.25 - 0.5 * transition) * 2.0 * pi;
    const double k = std::pow(std::tan(0.5 * wp), 2.0);
    const double kc = std::sqrt(std::sqrt(1.0 - k * k));  // fourth root of the complementary modulus squared
    const double q0 = 0.5 * (1.0 - kc) / (1.0 + kc);
    const double q = q0 + 2.0 * std::pow(q0, 5.0) + 15.0 * std::pow(q0, 9.0) + 150.0 * std::pow(q0, 13.0);
    const int order = 2 * count + 1;

    std::vector<double> coefficients;
    for (int i = 1; i <= count; ++i) {
        double numerator = 0.0;
        double denominator = 0.0;
        for (int m = 0; m < 12; ++m) {
            const double sign = m % 2 == 0 ? 1.0 : -1.0;
            numerator += sign * std::pow(q, m * (m + 1.0)) * std::sin((2.0 * m + 1.0) * i * pi / order);
            if (m > 0)
                denominator += sign * std::pow(q, static_cast<double>(m * m)) * std::cos(2.0 * m * i * pi / order);
        }
        const double w = 2.0 * std::pow(q, 0.25) * numerator / (1.0 + 2.0 * denominator);
        const double ww = w * w;
        const double c = std::sqrt((1.0 - ww * k) * (1.0 - ww / k)) / (1.0 + ww);
        coefficients.push_back((1.0 - c) / (1.0 + c));
    }
    std::sort(coefficients.begin(), coefficients.end());
    return coefficients;
}

}  // namespace halfband
