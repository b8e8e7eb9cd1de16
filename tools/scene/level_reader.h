// Reads the triangles of a level file in any format Debian's assimp library reads (OBJ, glTF,
// FBX, Collada, 3DS, PLY, STL and many more). Node transforms are applied, polygons are fanned
// into triangles keeping their winding, and points and lines are dropped. +y is up.
#pragma once

#include <string>
#include <vector>

#include "geometry.h"

namespace vor::scene {

// Reads path into triangles (world coordinates of the file). On failure answers false with one
// line "FILE: what is wrong" in error.
bool ReadLevelFile(const std::string &path, std::vector<Triangle> *triangles, std::string *error);

} // namespace vor::scene
