// The working record of one ellipsoid-against-mesh sweep and its per-triangle steps. The sweep
// loop hands every triangle, in list order with its 1-based position, to SweepTriangle; a coarser
// search over the triangles can feed it only its survivors, as long as it keeps that order.
#pragma once

#include <cstdint>

#include "body/motion_records.h"
#include "core/records.h"

namespace vor {

// Lives on the stack for one SweepEllipsoidMesh call. Points are in unit-sphere space.
struct MeshSweep {
    CollisionDefinition *definition;
    CollisionBody *body;     // the moving body, owner of the ellipsoid
    CollisionBody *meshBody; // the owner of the mesh
    EllipsoidShape *ellipsoid;
    MeshShape *mesh;
    Vec3 start;                  // S: centre at the start of the step (possibly carried)
    Vec3 end;                    // E: centre at the end of the step (possibly carried)
    Vec3 move;                   // E - S
    Vec3 direction;              // D: move / L, or (0, 0, 0) when L is 0
    float length;                // L: |move|
    int32_t polygon;             // 1-based position of the triangle under test
    Vec3 world1, world2, world3; // the triangle's world corners, before division by the radii
    MotionRecord *step;          // the moving body's latest step, which receives the contacts
    const Matrix4 *meshMatrix;   // the mesh body's worldMatrix
    uint32_t overlapped;         // triangles whose grown box the step overlaps, for the counters
};

// Tests one triangle as face, then edges and corners; polygon must already be set.
void SweepTriangle(MeshSweep &sweep, const MeshTriangle &triangle);
// The same on the triangle's world corners (TransformPoint of its corners by the mesh matrix);
// boxPassed: the grown-box test is known to pass for this step (AccelCandidate), so it is skipped.
void SweepWorldTriangle(MeshSweep &sweep, const Vec3 &w1, const Vec3 &w2, const Vec3 &w3,
                        bool boxPassed);
// Both after the repeated-polygon rule let the triangle through.
void SweepTriangleAt(MeshSweep &sweep, const Vec3 &w1, const Vec3 &w2, const Vec3 &w3,
                     bool boxPassed);
// The same once the box test passed, on the world corners w, the corners t divided by the
// ellipsoid's radii and n, the unit normal of t.
void SweepUnitTriangle(MeshSweep &sweep, const Vec3 *w, const Vec3 *t, const Vec3 &n);
// The sphere against the segment A-B and against the corner V (unit-sphere space).
void SweepEdge(MeshSweep &sweep, const Vec3 &a, const Vec3 &b);
void SweepCorner(MeshSweep &sweep, const Vec3 &v);
// Builds a mesh contact from unit-sphere quantities and offers it to the step.
void RecordMeshContact(MeshSweep &sweep, const Vec3 &h, const Vec3 &q, float f, uint8_t edgeHit);
// True when the step already has a nearest contact no later than f (f does not improve on it).
bool NotEarlierThanNearest(const MeshSweep &sweep, float f);

} // namespace vor
