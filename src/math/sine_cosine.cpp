// The library's own sine and cosine: the float angle is widened to double, reduced to a quarter
// turn around 0 with a two-part pi/2, and evaluated with Taylor polynomials that are accurate
// to about 1e-17 there; the result is rounded to float. Only IEEE double operations that every
// platform computes alike are used (no libm calls but the exact floor and fmod).
#include "math/sine_cosine.h"

#include <cmath>
#include <limits>

namespace vor {

namespace {

// pi/2 as a head with 33 significant bits (q * head is exact for q below 2^20) and its tail.
constexpr double kHalfPiHead = 1.57079632673412561417e+00;
constexpr double kHalfPiTail = 6.07710050650619224932e-11;
constexpr double kTwoOverPi = 6.3661977236758138e-01;
constexpr double kTwoPi = 6.2831853071795862e+00;
// Above this the angle is first brought below it with fmod (exact), so the quadrant count stays
// small enough for the split above.
constexpr double kReduceFirstAbove = 1.0e6;

double SinPolynomial(double y) {
    const double y2 = y * y;
    double p = 1.0 / 355687428096000.0;
    p = p * y2 - 1.0 / 1307674368000.0;
    p = p * y2 + 1.0 / 6227020800.0;
    p = p * y2 - 1.0 / 39916800.0;
    p = p * y2 + 1.0 / 362880.0;
    p = p * y2 - 1.0 / 5040.0;
    p = p * y2 + 1.0 / 120.0;
    p = p * y2 - 1.0 / 6.0;
    return y + y * y2 * p;
}

double CosPolynomial(double y) {
    const double y2 = y * y;
    double p = 1.0 / 6402373705728000.0;
    p = p * y2 - 1.0 / 20922789888000.0;
    p = p * y2 + 1.0 / 87178291200.0;
    p = p * y2 - 1.0 / 479001600.0;
    p = p * y2 + 1.0 / 3628800.0;
    p = p * y2 - 1.0 / 40320.0;
    p = p * y2 + 1.0 / 720.0;
    p = p * y2 - 1.0 / 24.0;
    p = p * y2 + 0.5;
    return 1.0 - y2 * p;
}

} // namespace

void SineCosine(float angle, float *sine, float *cosine) {
    double x = static_cast<double>(angle);
    if (!std::isfinite(x)) {
        *sine = std::numeric_limits<float>::quiet_NaN();
        *cosine = *sine;
        return;
    }
    if (std::fabs(x) > kReduceFirstAbove) {
        x = std::fmod(x, kTwoPi);
    }
    // Nearest quarter turn q, and the remainder y in about [-pi/4, pi/4].
    const double q = std::floor(x * kTwoOverPi + 0.5);
    const double y = (x - q * kHalfPiHead) - q * kHalfPiTail;
    const double s = SinPolynomial(y);
    const double c = CosPolynomial(y);
    const int quadrant = static_cast<int>(q - 4.0 * std::floor(q * 0.25));
    switch (quadrant) {
    case 0:
        *sine = static_cast<float>(s);
        *cosine = static_cast<float>(c);
        break;
    case 1:
        *sine = static_cast<float>(c);
        *cosine = static_cast<float>(-s);
        break;
    case 2:
        *sine = static_cast<float>(-s);
        *cosine = static_cast<float>(-c);
        break;
    default:
        *sine = static_cast<float>(-c);
        *cosine = static_cast<float>(s);
        break;
    }
}

} // namespace vor
