// Sine and cosine of a 32-bit angle computed by the library's own code, so that the rotation
// matrices have the same bits whatever C library the module is linked with.
#pragma once

namespace vor {

// Both values from one reduction of the angle (radians); each within half a float ulp of the
// true value but for rare ties. NaN or infinite angles give NaN.
void SineCosine(float angle, float *sine, float *cosine);

} // namespace vor
