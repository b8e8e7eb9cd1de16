// The library's own arc cosine. Every argument is brought to an arc sine of at most 0.5 (with the
// half-angle identity and one square root, which IEEE arithmetic rounds alike everywhere), whose
// Taylor series then converges to double precision within 30 terms.
#include "math/arc_cosine.h"

#include <cmath>
#include <limits>

namespace vor {

namespace {

constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPi = 3.1415926535897931;
constexpr int kSeriesTerms = 30;

// asin(y) for |y| <= 0.5: sum of a_n y^(2n+1), a_0 = 1, a_n = a_(n-1) (2n-1)^2 / (2n (2n+1)),
// summed from the smallest term up.
double SmallArcSine(double y) {
    double coefficients[kSeriesTerms];
    coefficients[0] = 1.0;
    for (int n = 1; n < kSeriesTerms; ++n) {
        const double odd = 2.0 * n - 1.0;
        coefficients[n] = coefficients[n - 1] * (odd * odd) / ((2.0 * n) * (2.0 * n + 1.0));
    }
    const double y2 = y * y;
    double sum = coefficients[kSeriesTerms - 1];
    for (int n = kSeriesTerms - 2; n >= 0; --n) {
        sum = sum * y2 + coefficients[n];
    }
    return y * sum;
}

} // namespace

double ArcCosine(double c) {
    if (!(c >= -1.0 && c <= 1.0)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (c > 0.5) {
        return 2.0 * SmallArcSine(std::sqrt((1.0 - c) * 0.5));
    }
    if (c < -0.5) {
        return kPi - 2.0 * SmallArcSine(std::sqrt((1.0 + c) * 0.5));
    }
    return kHalfPi - SmallArcSine(c);
}

} // namespace vor
