// Arc cosine computed by the library's own code, so that direction angles have the same bits
// whatever C library the module is linked with.
#pragma once

namespace vor {

// acos of c in [-1, 1], in double precision (about 1e-16 relative); NaN gives NaN.
double ArcCosine(double c);

} // namespace vor
