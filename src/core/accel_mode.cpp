// The module-wide choice between the accelerated searches and the plain scans.
#include "core/accel_mode.h"

namespace vor {} // namespace vor
