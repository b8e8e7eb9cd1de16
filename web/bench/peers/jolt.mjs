// Jolt (jolt-physics, its default WebAssembly build) set up as its examples do: two object layers
// (static, moving), the level as one static MeshShape body, the broad phase optimised after
// loading; rays by NarrowPhaseQuery.CastRay with a closest-hit collector (back faces of triangles
// ignored, Jolt's default); characters as CharacterVirtual with a capsule, ExtendedUpdate per
// step; the crowd as capsule bodies.
import initJolt from 'jolt-physics';
import { CAPSULE, FALL_PER_FRAME, FRAME_SECONDS, MIN_SLOPE_NORMAL_Y, WALK_SPEED } from '../scenes.mjs';

const NON_MOVING = 0, MOVING = 1;

export async function makeJolt() {
  const Jolt = await initJolt();
  const pairs = new Jolt.ObjectLayerPairFilterTable(2);
  pairs.EnableCollision(NON_MOVING, MOVING);
  pairs.EnableCollision(MOVING, MOVING);
  const layers = new Jolt.BroadPhaseLayerInterfaceTable(2, 2);
  layers.MapObjectToBroadPhaseLayer(NON_MOVING, new Jolt.BroadPhaseLayer(0));
  layers.MapObjectToBroadPhaseLayer(MOVING, new Jolt.BroadPhaseLayer(1));
  const settings = new Jolt.JoltSettings();
  settings.mMaxBodies = 16384;
  settings.mObjectLayerPairFilter = pairs;
  settings.mBroadPhaseLayerInterface = layers;
  settings.mObjectVsBroadPhaseLayerFilter = new Jolt.ObjectVsBroadPhaseLayerFilterTable(layers, 2, pairs, 2);
  const jolt = new Jolt.JoltInterface(settings);
  const system = jolt.GetPhysicsSystem();
  const bodies = system.GetBodyInterface();
  const query = system.GetNarrowPhaseQuery();
  const bpFilter = new Jolt.DefaultBroadPhaseLayerFilter(jolt.GetObjectVsBroadPhaseLayerFilter(), MOVING);
  const layerFilter = new Jolt.DefaultObjectLayerFilter(jolt.GetObjectLayerPairFilter(), MOVING);
  const bodyFilter = new Jolt.BodyFilter();
  const shapeFilter = new Jolt.ShapeFilter();
  const ray = new Jolt.RRayCast();
  const origin = ray.get_mOrigin(), direction = ray.get_mDirection();
  const raySettings = new Jolt.RayCastSettings();
  const collector = new Jolt.CastRayClosestHitCollisionCollector();
  const velocity = new Jolt.Vec3(0, 0, 0);
  const gravity = new Jolt.Vec3(0, -9.81, 0);
  const update = new Jolt.ExtendedUpdateSettings();
  let added = [];
  let characters = [];
  let rays = null;

  const addBody = (shape, x, y, z, motion, layer) => {
    const position = new Jolt.RVec3(x, y, z), rotation = new Jolt.Quat(0, 0, 0, 1);
    const creation = new Jolt.BodyCreationSettings(shape, position, rotation, motion, layer);
    const body = bodies.CreateBody(creation);
    Jolt.destroy(creation); Jolt.destroy(position); Jolt.destroy(rotation);
    bodies.AddBody(body.GetID(), Jolt.EActivation_DontActivate);
    added.push(body.GetID());
  };
  const cast = (i) => {
    const s = i * 6, r = rays.segments;
    origin.Set(r[s], r[s + 1], r[s + 2]);
    direction.Set(r[s + 3] - r[s], r[s + 4] - r[s + 1], r[s + 5] - r[s + 2]);
    collector.Reset();
    query.CastRay(ray, raySettings, collector, bpFilter, layerFilter, bodyFilter, shapeFilter);
    return collector.HadHit() ? collector.get_mHit().mFraction * rays.length[i] : -1;
  };
  const capsule = () => new Jolt.CapsuleShape(CAPSULE.halfHeight, CAPSULE.radius);
  return {
    // The level as an indexed mesh (corners shared by position), the form MeshShapeSettings
    // keeps: the build fits the default build's fixed heap better than a plain triangle list.
    buildLevel(scene) {
      const c = scene.corners;
      const bits = new Uint32Array(c.buffer, c.byteOffset, c.length);
      const index = new Map();
      const corner = new Uint32Array(scene.triangles * 3);
      for (let v = 0; v < corner.length; ++v) {
        const key = `${bits[v * 3]},${bits[v * 3 + 1]},${bits[v * 3 + 2]}`;
        let at = index.get(key);
        if (at === undefined) index.set(key, (at = index.size));
        corner[v] = at;
      }
      const vertices = new Jolt.VertexList();
      vertices.resize(index.size);
      for (let v = 0; v < corner.length; ++v) {
        const p = vertices.at(corner[v]);
        p.x = c[v * 3]; p.y = c[v * 3 + 1]; p.z = c[v * 3 + 2];
      }
      const triangles = new Jolt.IndexedTriangleList();
      triangles.resize(scene.triangles);
      for (let t = 0; t < scene.triangles; ++t) {
        const tri = triangles.at(t);
        for (let k = 0; k < 3; ++k) tri.set_mIdx(k, corner[t * 3 + k]);
        tri.mMaterialIndex = 0;
      }
      const materials = new Jolt.PhysicsMaterialList();
      const meshSettings = new Jolt.MeshShapeSettings(vertices, triangles, materials);
      Jolt.destroy(vertices); Jolt.destroy(triangles); Jolt.destroy(materials);
      const result = meshSettings.Create();
      if (result.HasError()) throw new Error(`Jolt MeshShape: ${result.GetError().c_str()}`);
      addBody(result.Get(), 0, 0, 0, Jolt.EMotionType_Static, NON_MOVING);
      Jolt.destroy(meshSettings);
      system.OptimizeBroadPhase();
      rays = scene.rays;
    },
    castLevel: cast,
    addCharacters(scene) {
      for (let k = 0; k < scene.bodyCount; ++k) {
        const b = scene.bodies.subarray(k * 4, k * 4 + 4);
        const cs = new Jolt.CharacterVirtualSettings();
        cs.mShape = capsule();
        cs.mMaxSlopeAngle = Math.acos(MIN_SLOPE_NORMAL_Y);
        const position = new Jolt.RVec3(b[0], b[1], b[2]), rotation = Jolt.Quat.prototype.sIdentity();
        characters.push(new Jolt.CharacterVirtual(cs, position, rotation, system));
        Jolt.destroy(position);
      }
    },
    stepCharacters(steering) {
      const allocator = jolt.GetTempAllocator();
      for (let k = 0; k < characters.length; ++k) {
        const ch = characters[k];
        const at = ch.GetPosition();
        const h = steering.headingAt(k, at.GetX(), at.GetZ());
        velocity.Set(Math.cos(h) * WALK_SPEED / FRAME_SECONDS, -FALL_PER_FRAME / FRAME_SECONDS, Math.sin(h) * WALK_SPEED / FRAME_SECONDS);
        ch.SetLinearVelocity(velocity);
        ch.ExtendedUpdate(FRAME_SECONDS, gravity, update, bpFilter, layerFilter, bodyFilter, shapeFilter, allocator);
      }
    },
    characterPositions() {
      const out = new Float64Array(characters.length * 3);
      characters.forEach((ch, k) => {
        const p = ch.GetPosition();
        out.set([p.GetX(), p.GetY(), p.GetZ()], k * 3);
      });
      return out;
    },
    buildCrowd(scene) {
      for (let k = 0; k < scene.bodyCount; ++k) {
        const b = scene.bodies.subarray(k * 4, k * 4 + 4);
        addBody(capsule(), b[0], b[1], b[2], Jolt.EMotionType_Kinematic, MOVING);
      }
      system.OptimizeBroadPhase();
      rays = scene.rays;
    },
    castCrowd: cast,
    free() {
      for (const ch of characters) Jolt.destroy(ch);
      characters = [];
      for (const id of added) {
        bodies.RemoveBody(id);
        bodies.DestroyBody(id);
      }
      added = [];
    },
  };
}
