// STUB: placeholder so the tree links; its owner replaces this file.
#include "mesh/ray_cast.h"
namespace vor {
RayResult *rayResult = nullptr;
int32_t RayIntersectObject(uint32_t, int32_t, const Vec3 &, const Vec3 &) { return 0; }
int32_t RayIntersectType(int32_t, int32_t, const Vec3 &, const Vec3 &) { return 0; }
void FreeRayResult() {}
} // namespace vor
