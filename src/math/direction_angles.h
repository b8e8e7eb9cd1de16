// Direction vectors to yaw and pitch angles in degrees.
#pragma once

namespace vor {

float DirectionYaw(float x, float y, float z);   // 0..180
float DirectionPitch(float x, float y, float z); // 0..90

} // namespace vor
