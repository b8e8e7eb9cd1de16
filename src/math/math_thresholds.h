// The thresholds of the vector and matrix arithmetic, named once; the rest of the library's
// thresholds are in core/thresholds.h, which includes this file.
#pragma once

namespace vor {

constexpr float kUnitTolerance = 0.00001f;        // float: |s - 1| counted as unit length, w as 1
constexpr float kTinySquaredLength = 1e-10f;      // float: squared length that normalises to zero
constexpr float kDegreesToRadians = 0.017453292f; // float: host degrees to radians
constexpr float kRadiansToDegrees = 57.295776f;   // float: direction angles back to degrees

} // namespace vor
