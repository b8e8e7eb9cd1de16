// What both Jolt peers (the level rays and the pressing crowd) make the same way. Included only by
// files built with Jolt's headers and definitions.
#pragma once

#include <Jolt/Jolt.h>

#include <Jolt/Physics/Collision/Shape/Shape.h>

#include <vector>

namespace peers {

// A MeshShape of the triangles (nine floats each, in order); exits with a message if Jolt refuses.
JPH::RefConst<JPH::Shape> JoltMeshShape(const std::vector<float> &xyz);

} // namespace peers
