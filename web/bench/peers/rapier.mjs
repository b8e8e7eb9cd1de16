// Rapier (@dimforge/rapier3d-compat) as its guide recommends for a character on static level
// geometry: a fixed trimesh collider; characters as kinematic position-based bodies with capsule
// colliders moved by one KinematicCharacterController (computeColliderMovement, then
// setNextKinematicTranslation and a world step, which also keeps the scene queries current);
// rays by world.castRay. The crowd: capsules on kinematic bodies.
import RAPIER from '@dimforge/rapier3d-compat';
import { CAPSULE, FALL_PER_FRAME, MIN_SLOPE_NORMAL_Y, WALK_SPEED } from '../scenes.mjs';

export async function makeRapier() {
  await RAPIER.init();
  let world = null;
  let rays = null;
  const ray = new RAPIER.Ray({ x: 0, y: 0, z: 0 }, { x: 0, y: 0, z: 1 });
  let controller = null;
  let characters = [];
  const desired = { x: 0, y: 0, z: 0 };
  const next = { x: 0, y: 0, z: 0 };

  const newWorld = () => {
    world?.free();
    world = new RAPIER.World({ x: 0, y: 0, z: 0 }); // the walkers' fall is part of the step asked
    characters = [];
  };
  const cast = (i) => {
    const s = i * 6, d = i * 3;
    ray.origin.x = rays.segments[s]; ray.origin.y = rays.segments[s + 1]; ray.origin.z = rays.segments[s + 2];
    ray.dir.x = rays.direction[d]; ray.dir.y = rays.direction[d + 1]; ray.dir.z = rays.direction[d + 2];
    const hit = world.castRay(ray, rays.length[i], true);
    return hit ? hit.timeOfImpact : -1;
  };
  const addCapsules = (bodies, count) => {
    const list = [];
    for (let k = 0; k < count; ++k) {
      const body = world.createRigidBody(RAPIER.RigidBodyDesc.kinematicPositionBased()
        .setTranslation(bodies[k * 4], bodies[k * 4 + 1], bodies[k * 4 + 2]));
      const collider = world.createCollider(RAPIER.ColliderDesc.capsule(CAPSULE.halfHeight, CAPSULE.radius), body);
      list.push({ body, collider });
    }
    return list;
  };
  return {
    buildLevel(scene) {
      newWorld();
      const indices = new Uint32Array(scene.triangles * 3);
      for (let i = 0; i < indices.length; ++i) indices[i] = i;
      world.createCollider(RAPIER.ColliderDesc.trimesh(new Float32Array(scene.corners), indices));
      world.step(); // builds the broad phase's tree the queries use
      rays = scene.rays;
    },
    castLevel: cast,
    addCharacters(scene) {
      controller = world.createCharacterController(0.01);
      controller.setMaxSlopeClimbAngle(Math.acos(MIN_SLOPE_NORMAL_Y));
      controller.setUp({ x: 0, y: 1, z: 0 });
      characters = addCapsules(scene.bodies, scene.bodyCount);
      world.step();
    },
    stepCharacters(steering) {
      for (let k = 0; k < characters.length; ++k) {
        const { body, collider } = characters[k];
        const at = body.translation();
        const h = steering.headingAt(k, at.x, at.z);
        desired.x = Math.cos(h) * WALK_SPEED; desired.y = -FALL_PER_FRAME; desired.z = Math.sin(h) * WALK_SPEED;
        controller.computeColliderMovement(collider, desired, RAPIER.QueryFilterFlags.EXCLUDE_KINEMATIC);
        const move = controller.computedMovement();
        next.x = at.x + move.x; next.y = at.y + move.y; next.z = at.z + move.z;
        body.setNextKinematicTranslation(next);
      }
      world.step();
    },
    characterPositions() {
      const out = new Float64Array(characters.length * 3);
      characters.forEach(({ body }, k) => {
        const t = body.translation();
        out.set([t.x, t.y, t.z], k * 3);
      });
      return out;
    },
    buildCrowd(scene) {
      newWorld();
      characters = addCapsules(scene.bodies, scene.bodyCount);
      world.step();
      rays = scene.rays;
    },
    castCrowd: cast,
    free() {
      controller?.free?.();
      controller = null;
      world?.free();
      world = null;
    },
  };
}
