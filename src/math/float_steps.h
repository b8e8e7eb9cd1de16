// The float next to a float, up or down, from its bit pattern: what nextafter(f, +/-infinity)
// gives, bit for bit, without a call into the maths library (a search that rounds its bounds
// outward makes several a query).
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

namespace vor {

namespace float_steps_detail {

inline float AddToBits(float f, int32_t step) {
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    bits += static_cast<uint32_t>(step);
    float next = 0.0f;
    std::memcpy(&next, &bits, sizeof next);
    return next;
}

} // namespace float_steps_detail

// The next float up: from either zero the least positive one; the magnitude's bits step up for a
// positive f and down for a negative one. +infinity and NaN stay.
inline float NextFloatUp(float f) {
    if (f == 0.0f) {
        return std::numeric_limits<float>::denorm_min();
    }
    if (!(f < std::numeric_limits<float>::infinity())) {
        return f;
    }
    return float_steps_detail::AddToBits(f, f > 0.0f ? 1 : -1);
}

// The next float down, the mirror image of NextFloatUp.
inline float NextFloatDown(float f) {
    if (f == 0.0f) {
        return -std::numeric_limits<float>::denorm_min();
    }
    if (!(f > -std::numeric_limits<float>::infinity())) {
        return f;
    }
    return float_steps_detail::AddToBits(f, f > 0.0f ? -1 : 1);
}

// The least float at or above v, and the greatest at or below it: a double rounded outward.
inline float FloatAtOrAbove(double v) {
    const float f = static_cast<float>(v);
    return static_cast<double>(f) < v ? NextFloatUp(f) : f;
}
inline float FloatAtOrBelow(double v) {
    const float f = static_cast<float>(v);
    return static_cast<double>(f) > v ? NextFloatDown(f) : f;
}

} // namespace vor
