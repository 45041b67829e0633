#pragma once

// Spectra for tests that measure sound: a plain radix-2 FFT, written here
// from the textbook and sharing nothing with the product's code, so what it
// measures is independent of the filters it checks.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <utility>
#include <vector>

namespace spectrum {

using Complex = std::complex<double>;

// In place; the size must be a power of two.
inline void fft(std::vector<Complex>& a, bool inverse = false)
{
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = (inverse ? 2.0 : -2.0) * std::numbers::pi / static_cast<double>(length);
        const Complex step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += length) {
            Complex w(1.0);
            for (std::size_t k = 0; k < length / 2; ++k) {
                const Complex u = a[i + k];
                const Complex v = a[i + k + length / 2] * w;
                a[i + k] = u + v;
                a[i + k + length / 2] = u - v;
                w *= step;
            }
        }
    }
    if (inverse)
        for (Complex& x : a)
            x /= static_cast<double>(n);
}

// Amplitude spectrum of n samples from `from` (n a power of two) under a
// four-term Blackman-Harris window (side lobes below -92 dB), scaled so
// that a sine of amplitude A shows A at its peak bin.
inline std::vector<double> amplitudes(const std::vector<float>& x, std::size_t from, std::size_t n)
{
    std::vector<Complex> a(n);
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n - 1);
        const double w = 0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2.0 * t) - 0.01168 * std::cos(3.0 * t);
        sum += w;
        a[i] = static_cast<double>(x[from + i]) * w;
    }
    fft(a);
    std::vector<double> m(n / 2);
    for (std::size_t i = 0; i < n / 2; ++i)
        m[i] = 2.0 * std::abs(a[i]) / sum;
    return m;
}

// The largest value of the band-limited signal between its samples too: n
// samples from `from` (a power of two), interpolated fourfold by padding
// the spectrum with zeros; the first and last eighth are left out, where
// the block's ends meet as if it repeated.
inline double truePeak(const std::vector<float>& x, std::size_t from, std::size_t n)
{
    std::vector<Complex> a(n);
    for (std::size_t i = 0; i < n; ++i)
        a[i] = x[from + i];
    fft(a);
    std::vector<Complex> wide(4 * n);
    for (std::size_t k = 0; k < n / 2; ++k) {
        wide[k] = 4.0 * a[k];
        wide[4 * n - 1 - k] = k + 1 < n / 2 ? 4.0 * a[n - 1 - k] : Complex{};
    }
    fft(wide, true);
    double peak = 0.0;
    for (std::size_t i = n / 2; i < 4 * n - n / 2; ++i)
        peak = std::max(peak, std::fabs(wide[i].real()));
    return peak;
}

}  // namespace spectrum
