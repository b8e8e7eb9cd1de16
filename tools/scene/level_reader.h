// A reader of the triangles of a Wavefront OBJ file: "v" and "f" lines; faces with more than
// three corners are fan-triangulated; every other statement is ignored.
#pragma once

#include <string>
#include <vector>

#include "geometry.h"

namespace vor::scene {

// Reads path into triangles. On failure answers false with one line "FILE:LINE: what" (or
// "FILE: what") in error.
bool ReadObjFile(const std::string &path, std::vector<Triangle> *triangles, std::string *error);

// The same from text already in memory; name is used in messages.
bool ParseObjText(const std::string &text, const std::string &name,
                  std::vector<Triangle> *triangles, std::string *error);

} // namespace vor::scene
