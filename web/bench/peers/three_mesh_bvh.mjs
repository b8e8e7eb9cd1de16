// three-mesh-bvh over a three.js BufferGeometry of the level: the tree built with the SAH
// strategy (its documentation's choice for the fastest queries), rays by raycastFirst on front
// faces; characters as its character-movement example moves a capsule: the step applied, then one
// shapecast over the triangles near the capsule pushing it out of each one it overlaps, the
// capsule's new place taken from its pushed segment.
import * as THREE from 'three';
import { MeshBVH, SAH } from 'three-mesh-bvh';
import { CAPSULE, FALL_PER_FRAME, WALK_SPEED } from '../scenes.mjs';

export async function makeThreeMeshBvh() {
  let bvh = null;
  let rays = null;
  const ray = new THREE.Ray();
  let positions = null;
  const segment = new THREE.Line3();
  const box = new THREE.Box3();
  const onTriangle = new THREE.Vector3(), onSegment = new THREE.Vector3(), push = new THREE.Vector3();

  const pushOut = (tri) => {
    const distance = tri.closestPointToSegment(segment, onTriangle, onSegment);
    if (distance < CAPSULE.radius) {
      const depth = CAPSULE.radius - distance;
      push.subVectors(onSegment, onTriangle).normalize().multiplyScalar(depth);
      segment.start.add(push);
      segment.end.add(push);
    }
    return false;
  };
  const shapecast = { intersectsBounds: (b) => b.intersectsBox(box), intersectsTriangle: pushOut };

  return {
    buildLevel(scene) {
      const geometry = new THREE.BufferGeometry();
      geometry.setAttribute('position', new THREE.BufferAttribute(new Float32Array(scene.corners), 3));
      bvh = new MeshBVH(geometry, { strategy: SAH });
      rays = scene.rays;
    },
    castLevel(i) {
      const s = i * 6, d = i * 3, r = rays.segments, dir = rays.direction;
      ray.origin.set(r[s], r[s + 1], r[s + 2]);
      ray.direction.set(dir[d], dir[d + 1], dir[d + 2]);
      const hit = bvh.raycastFirst(ray, THREE.FrontSide, 0, rays.length[i]);
      return hit ? hit.distance : -1;
    },
    addCharacters(scene) {
      positions = new Float64Array(scene.bodyCount * 3);
      for (let k = 0; k < scene.bodyCount; ++k) positions.set(scene.bodies.subarray(k * 4, k * 4 + 3), k * 3);
    },
    stepCharacters(steering) {
      const count = positions.length / 3;
      for (let k = 0; k < count; ++k) {
        const p = k * 3;
        const h = steering.headingAt(k, positions[p], positions[p + 2]);
        const x = positions[p] + Math.cos(h) * WALK_SPEED, y = positions[p + 1] - FALL_PER_FRAME;
        const z = positions[p + 2] + Math.sin(h) * WALK_SPEED;
        segment.start.set(x, y + CAPSULE.halfHeight, z);
        segment.end.set(x, y - CAPSULE.halfHeight, z);
        box.makeEmpty().expandByPoint(segment.start).expandByPoint(segment.end).expandByScalar(CAPSULE.radius);
        bvh.shapecast(shapecast);
        positions[p] = (segment.start.x + segment.end.x) * 0.5;
        positions[p + 1] = (segment.start.y + segment.end.y) * 0.5;
        positions[p + 2] = (segment.start.z + segment.end.z) * 0.5;
      }
    },
    characterPositions() {
      return Float64Array.from(positions);
    },
    free() {
      bvh = null;
      positions = null;
    },
  };
}
