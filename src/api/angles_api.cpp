// Exported direction-to-angle conversions; they need no object and touch no state.
#include "vorcollide.h"

#include "api/float_bits.h"
#include "math/direction_angles.h"

VOR_API int32_t VOR_CALL Vec2Yaw(float x, float y, float z) {
    return vor::FloatBits(vor::DirectionYaw(x, y, z));
}

VOR_API int32_t VOR_CALL Vec2Pitch(float x, float y, float z) {
    return vor::FloatBits(vor::DirectionPitch(x, y, z));
}
