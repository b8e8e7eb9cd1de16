// The switch between the accelerated searches and the plain scans they stand in for. Both give
// the same results to the bit; the plain scans stay as the reference the tests compare against.
#pragma once

#include "core/module_state.h"

namespace vor {

// False (the default): meshes use their triangle hierarchy and ellipsoid definitions the pair
// grid. True: every sweep and ray visits every triangle and every destination in list order.

} // namespace vor
