// STUB: placeholder so the tree links; its owner replaces this file.
#include "body/direction_angles.h"
namespace vor {
float DirectionYaw(float, float, float) { return 0; }
float DirectionPitch(float, float, float) { return 0; }
} // namespace vor
