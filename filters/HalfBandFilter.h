#pragma once

#include "wave/LaneVector.h"

#include <array>
#include <vector>

// Half-band low-pass filters for doubling and halving the sample rate, in
// the polyphase form that costs one multiplication per coefficient and
// sample: the filter is (A(z^2) + z^-1 B(z^2)) / 2, where A and B are
// chains of first-order allpass sections (a + z^-1) / (1 + a z^-1) that run
// at the lower rate. Going up, A gives the even and B the odd samples of the
// higher rate; going down, the mean of A on the even and B on the odd
// samples gives the lower rate. The response is elliptic: flat in the pass
// band to within 1e-6, phase not linear (the group delay at low frequencies
// is about one sample of the lower rate per filter).
namespace halfband {

// The allpass coefficients (ascending) of the elliptic half-band low-pass
// with `count` coefficients whose transition band, as a fraction of the
// higher rate, is `transition` wide around a quarter of that rate. More
// coefficients or a wider transition give a deeper stop band.
std::vector<double> design(int count, double transition);

// A chain of N allpass sections over four lanes; s[k] is the last input of
// section k (and so the last output of section k - 1), s[N] the last output.
template <int N>
class AllpassChain {
public:
    LaneVector run(LaneVector x, const float* a)
    {
        // y = a x + x1 - a y1: only the last multiplication and the
        // subtraction wait for the section's previous output.
        for (int k = 0; k < N; ++k) {
            const LaneVector y = (a[k] * x + s[k]) - a[k] * s[k + 1];
            s[k] = x;
            x = y;
        }
        s[N] = x;
        return x;
    }
    void reset() { s = {}; }
    // The states, for a run that keeps them in another arrangement meanwhile.
    std::array<LaneVector, N + 1>& states() { return s; }

private:
    std::array<LaneVector, N + 1> s = {};
};

// The coefficients of one half-band filter with C coefficients, split into
// the two branches (even positions to A, odd ones to B).
template <int C>
struct Coefficients {
    static constexpr int inA = (C + 1) / 2;
    static constexpr int inB = C / 2;
    std::array<float, inA> a{};
    std::array<float, inB> b{};

    Coefficients() = default;
    explicit Coefficients(double transition)
    {
        const std::vector<double> c = design(C, transition);
        for (int k = 0; k < C; ++k)
            (k % 2 == 0 ? a[static_cast<std::size_t>(k / 2)] : b[static_cast<std::size_t>(k / 2)]) =
                static_cast<float>(c[static_cast<std::size_t>(k)]);
    }
};

// One sample in, two out (even first), with the pass band's gain of 1.
template <int C>
class Interpolator {
public:
    void run(LaneVector x, const Coefficients<C>& c, LaneVector& even, LaneVector& odd)
    {
        even = branchA.run(x, c.a.data());
        odd = branchB.run(x, c.b.data());
    }
    void reset()
    {
        branchA.reset();
        branchB.reset();
    }
    AllpassChain<Coefficients<C>::inA>& a() { return branchA; }
    AllpassChain<Coefficients<C>::inB>& b() { return branchB; }

private:
    AllpassChain<Coefficients<C>::inA> branchA;
    AllpassChain<Coefficients<C>::inB> branchB;
};

// Two samples in (even first), one out. The odd branch reads the odd
// sample of the pair before, which is what makes B's z^-1.
template <int C>
class Decimator {
public:
    LaneVector run(LaneVector even, LaneVector odd, const Coefficients<C>& c)
    {
        const LaneVector y = 0.5f * (branchA.run(even, c.a.data()) + branchB.run(pendingOdd, c.b.data()));
        pendingOdd = odd;
        return y;
    }
    void reset()
    {
        branchA.reset();
        branchB.reset();
        pendingOdd = LaneVector{};
    }
    AllpassChain<Coefficients<C>::inA>& a() { return branchA; }
    AllpassChain<Coefficients<C>::inB>& b() { return branchB; }
    LaneVector& pending() { return pendingOdd; }

private:
    AllpassChain<Coefficients<C>::inA> branchA;
    AllpassChain<Coefficients<C>::inB> branchB;
    LaneVector pendingOdd = {};
};

}  // namespace halfband
