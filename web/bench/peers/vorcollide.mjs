// vorcollide's WebAssembly module through its loader (web/vorcollide.mjs), driven through the
// exports as a JavaScript user would: one mesh object for the level, ellipsoids for characters
// and crowds, RayIntersectObjectVOR / RayIntersectTypeVOR for rays.
import { readFileSync } from 'node:fs';
import { loadVorcollide, makeVertexBlock } from '../../vorcollide.mjs';
import { FALL_PER_FRAME, RADII, WALK_SPEED } from '../scenes.mjs';

const LEVEL = 1, LEVEL_TYPE = 2, CHARACTER_TYPE = 1, CROWD_TYPE = 3;
const MESH = 2, ELLIPSOID = 1;
const DEGREES = 180 / Math.PI;

export async function makeVorcollide(modulePath) {
  const vor = await loadVorcollide(readFileSync(modulePath));
  let rays = null;
  let firstBody = 0, bodyCount = 0;
  return {
    buildLevel(scene) {
      vor.StopCollisionVOR();
      vor.NewCollObjVOR(LEVEL, LEVEL_TYPE);
      vor.AddObjShapeVOR(LEVEL, MESH);
      vor.AddMeshVOR(LEVEL, makeVertexBlock(scene.corners));
      vor.SetObjPosVOR(0, 0, 0);
      vor.SetObjRotVOR(0, 0, 0);
      vor.UpdateObjVOR(LEVEL, 1);
      vor.ActivateObjVOR(LEVEL);
      vor.RayIntersectObjectVOR(LEVEL, MESH, 1, 100, 1, 1, -100, 1); // builds the hierarchy
      rays = scene.rays.segments;
    },
    castLevel(i) {
      const s = i * 6;
      return vor.RayIntersectObjectVOR(LEVEL, MESH, rays[s], rays[s + 1], rays[s + 2], rays[s + 3], rays[s + 4], rays[s + 5])
        ? vor.RayHitDist() : -1;
    },
    // How far below (x, y, z) the first ground is (a ray straight down, 100 long), or -1 when
    // there is none: the character has fallen through.
    groundBelow(x, y, z) {
      return vor.RayIntersectObjectVOR(LEVEL, MESH, x, y, z, x, y - 100, z) ? vor.RayHitDist() : -1;
    },
    addCharacters(scene) {
      firstBody = LEVEL + 1;
      bodyCount = scene.bodyCount;
      for (let k = 0; k < bodyCount; ++k) {
        const obj = firstBody + k, b = scene.bodies.subarray(k * 4, k * 4 + 4);
        vor.NewCollObjVOR(obj, CHARACTER_TYPE);
        vor.AddObjShapeVOR(obj, ELLIPSOID);
        vor.SetObjRadiusVOR(obj, RADII[0], RADII[1], RADII[2]);
        vor.SetObjGravityVOR(obj, FALL_PER_FRAME);
        vor.SetObjPosVOR(b[0], b[1], b[2]);
        vor.SetObjRotVOR(0, 0, 0);
        vor.UpdateObjVOR(obj, 1);
        vor.ActivateObjVOR(obj);
      }
      vor.SetCollisionsVOR(CHARACTER_TYPE, LEVEL_TYPE, 2, 3, 1); // against meshes, slide and stand
    },
    // One frame: every walker asks for a step ahead of where the last pass left it, then one pass.
    stepCharacters(steering) {
      for (let k = 0; k < bodyCount; ++k) {
        const obj = firstBody + k;
        const x = vor.PeekObjXVOR(obj), y = vor.PeekObjYVOR(obj), z = vor.PeekObjZVOR(obj);
        const h = steering.headingAt(k, x, z);
        vor.SetObjPosVOR(x + Math.cos(h) * WALK_SPEED, y, z + Math.sin(h) * WALK_SPEED);
        vor.SetObjRotVOR(0, h * DEGREES, 0);
        vor.UpdateObjVOR(obj, 0);
      }
      vor.RunCollisionVOR();
    },
    characterPositions() {
      const out = new Float64Array(bodyCount * 3);
      for (let k = 0; k < bodyCount; ++k) {
        out.set([vor.PeekObjXVOR(firstBody + k), vor.PeekObjYVOR(firstBody + k), vor.PeekObjZVOR(firstBody + k)], k * 3);
      }
      return out;
    },
    buildCrowd(scene) {
      vor.StopCollisionVOR();
      for (let k = 0; k < scene.bodyCount; ++k) {
        const obj = 1 + k, b = scene.bodies.subarray(k * 4, k * 4 + 4);
        vor.NewCollObjVOR(obj, CROWD_TYPE);
        vor.AddObjShapeVOR(obj, ELLIPSOID);
        vor.SetObjRadiusVOR(obj, RADII[0], RADII[1], RADII[2]);
        vor.SetObjPosVOR(b[0], b[1], b[2]);
        vor.SetObjRotVOR(0, 0, 0);
        vor.UpdateObjVOR(obj, 1);
        vor.ActivateObjVOR(obj);
      }
      // One pass settles the resolved positions; the first ray by type builds the type's ray tree
      // (kept current from then on), and a few more warm the code up before timing.
      vor.RunCollisionVOR();
      for (let k = 0; k < 8; ++k) vor.RayIntersectTypeVOR(CROWD_TYPE, ELLIPSOID, 0, 0.1, 0, 1, 0.1, 1);
      rays = scene.rays.segments;
    },
    castCrowd(i) {
      const s = i * 6;
      return vor.RayIntersectTypeVOR(CROWD_TYPE, ELLIPSOID, rays[s], rays[s + 1], rays[s + 2], rays[s + 3], rays[s + 4], rays[s + 5])
        ? vor.RayHitDist() : -1;
    },
    free() {
      vor.StopCollisionVOR();
    },
  };
}
