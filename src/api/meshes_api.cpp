// Exported mesh functions: one triangle, or a triangle list from a host vertex block, added to
// every mesh shape of an object's body.
#include "vorcollide.h"

#include "body/registry.h"
#include "core/error_report.h"
#include "mesh/mesh_building.h"

VOR_API void VOR_CALL AddMeshTri(uint32_t obj, float x1, float y1, float z1, float x2, float y2,
                                 float z2, float x3, float y3, float z3) {
    if (vor::BadObjNumber(obj)) {
        return;
    }
    vor::AddTriangleToBody(vor::ObjectTable[obj]->body, vor::Vec3{x1, y1, z1},
                           vor::Vec3{x2, y2, z2}, vor::Vec3{x3, y3, z3});
}

VOR_API void VOR_CALL AddMeshVOR(uint32_t obj, const void *block) {
    if (vor::BadObjNumber(obj)) {
        return;
    }
    vor::AddMeshBlock(vor::ObjectTable[obj]->body, block);
}
