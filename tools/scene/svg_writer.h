// The picture of a scene run: a top view and a side view of the level's triangles with every
// character's path, its start and end, the contact points with their normals, and a legend.
#pragma once

#include <string>

#include "scene.h"

namespace vor::scene {

// Writes the picture to path through path.tmp, renamed into place only when complete.
bool WriteSvg(const SceneRun &run, const std::string &path, std::string *error);

// The picture as text (what WriteSvg writes).
std::string RenderSvg(const SceneRun &run);

} // namespace vor::scene
