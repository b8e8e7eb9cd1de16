// Reads the triangles of a level file in any format Debian's assimp library reads (OBJ, glTF,
// FBX, Collada, 3DS, PLY, STL and many more). Node transforms are applied, polygons are fanned
// into triangles keeping their winding, and points and lines are dropped. The level is turned so
// that its up axis becomes +y: the one asked for, else the file's own where its format names one.
#pragma once

#include <string>
#include <vector>

#include "geometry.h"

namespace vor::scene {

// Which way is up in a level file: axis 0 x, 1 y, 2 z, and sign +1 or -1.
struct UpAxis {
    int axis = 1;
    int sign = 1;
};

// Reads "x", "y", "z", "-x", "-y", "-z" (or "+x" ...); answers false for anything else.
bool ParseUpAxis(const std::string &text, UpAxis *up);
std::string UpAxisName(UpAxis up); // "+z", "-y", ...

// The point turned by a quarter or half turn so that up becomes +y. A rotation, never a mirror,
// so a triangle keeps its winding and front faces stay front faces.
Point TurnUpright(Point p, UpAxis up);

struct LevelFile {
    std::vector<Triangle> triangles; // with +y up
    UpAxis up;                       // the up axis the file was read with
    std::string upHow;               // why that one: "--up", "the file's UpAxis", ...
};

// Reads path into level (world coordinates of the file, turned upright). requestedUp, when not
// null, wins over whatever the file says. On failure answers false with one line
// "FILE: what is wrong" in error.
bool ReadLevelFile(const std::string &path, const UpAxis *requestedUp, LevelFile *level,
                   std::string *error);
// The same with +y up whatever the file says, for callers that need the triangles only.
bool ReadLevelFile(const std::string &path, std::vector<Triangle> *triangles, std::string *error);

} // namespace vor::scene
