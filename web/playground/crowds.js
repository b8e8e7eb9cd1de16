// The two scenes that show overlap recovery: a crowd pressing together on a flat floor, and
// walkers crossing a rolling heightfield. Each runs through the exports as a host would and
// measures, after every pass, what recovery changes: bodies inside another and how deep, and how
// deep a walker has gone into the ground. The switch is the system-wide SetOverlapRecoveryVOR.
import { makeVertexBlock } from 'vorcollide';

const ALL_TYPES = -1; // VOR_ALL_TYPES
const BODY_TYPE = 1, GROUND_TYPE = 2; // the character and level types of the walking scene
const RESPONSE = 3;
// An overlap counts when it is deeper than this (metres).
export const OVERLAP_COUNTED = 0.001;
// A walker counts as sunk into the ground when deeper than this (metres).
export const SUNK_COUNTED = 0.002;

// Four blocks of 10 x 10 characters on a lattice 0.8 m apart, each walking 25 mm a frame to the
// centre of its block under gravity, so that each block presses into a cluster.
const CROWD = { side: 20, block: 10, pitch: 0.8, radii: [0.25, 0.45, 0.25], step: 0.025, gravity: 0.05, frames: 120 };
// 16 walkers of radii 0.25 x 0.9 x 0.25 at 2 m/s over 64 x 64 one-metre cells of
// y = 2 sin(x/9) cos(z/7), the fall folded into the requested move; they turn back to the middle
// near the edge.
const ROLLING = { cells: 64, walkers: 4, spacing: 16, radii: [0.25, 0.9, 0.25], step: 2 / 60, fall: 0.1, edge: 4, frames: 600 };

const radiiText = (r) => r.join(' × ');
export const CROWD_SCENES = {
  crowd: {
    title: `crowd: ${CROWD.side * CROWD.side} characters pressing into four clusters`, frames: CROWD.frames,
    about: `${CROWD.side * CROWD.side} characters of radii ${radiiText(CROWD.radii)}, ${CROWD.pitch} m apart, each walking ${CROWD.step * 60} m/s ` +
      `to the middle of its block of ${CROWD.block} × ${CROWD.block} under gravity; response ${RESPONSE} against the floor and each other.`,
  },
  rolling: {
    title: `rolling level: ${ROLLING.walkers ** 2} walkers crossing a heightfield`, frames: ROLLING.frames,
    about: `${ROLLING.walkers ** 2} walkers of radii ${radiiText(ROLLING.radii)} at ${ROLLING.step * 60} m/s over ${ROLLING.cells} × ${ROLLING.cells} ` +
      `one-metre cells of y = 2 sin(x/9) cos(z/7), a fall of ${ROLLING.fall * 60} m/s in each move; response ${RESPONSE}.`,
  },
};

export const groundHeight = (x, z) => 2 * Math.sin(x / 9) * Math.cos(z / 7);

// The two triangles of heightfield cell (i, k), facing up, as eighteen corner numbers.
export function cellCorners(i, k) {
  const h = (x, z) => [x, groundHeight(x, z), z];
  const [a, b, c, d] = [h(i, k), h(i, k + 1), h(i + 1, k + 1), h(i + 1, k)];
  return [...a, ...b, ...c, ...a, ...c, ...d];
}

// The distance from p to the nearest point of triangle (a, b, c), each a 3-vector.
export function distanceToTriangle(p, a, b, c) {
  const sub = (u, v) => [u[0] - v[0], u[1] - v[1], u[2] - v[2]];
  const dot = (u, v) => u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
  const ab = sub(b, a), ac = sub(c, a), ap = sub(p, a), bp = sub(p, b), cp = sub(p, c);
  const d1 = dot(ab, ap), d2 = dot(ac, ap), d3 = dot(ab, bp), d4 = dot(ac, bp), d5 = dot(ab, cp), d6 = dot(ac, cp);
  const vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
  let u = 0, v = 0; // the nearest point is a + u ab + v ac
  if (d1 <= 0 && d2 <= 0) { /* corner a */ }
  else if (d3 >= 0 && d4 <= d3) u = 1;
  else if (vc <= 0 && d1 >= 0 && d3 <= 0) u = d1 / (d1 - d3);
  else if (d6 >= 0 && d5 <= d6) v = 1;
  else if (vb <= 0 && d2 >= 0 && d6 <= 0) v = d2 / (d2 - d6);
  else if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) { const w = (d4 - d3) / (d4 - d3 + (d5 - d6)); u = 1 - w; v = w; }
  else { const den = 1 / (va + vb + vc); u = vb * den; v = vc * den; }
  return Math.hypot(...[0, 1, 2].map((i) => a[i] + u * ab[i] + v * ac[i] - p[i]));
}

// How deep an ellipsoid of radii r centred at p is inside the heightfield: (1 - its unit-sphere
// distance to the nearest triangle of the cells round it) times its height radius; 0 when clear.
export function depthInGround(p, r) {
  const unit = (q) => [q[0] / r[0], q[1] / r[1], q[2] / r[2]];
  const centre = unit(p);
  let nearest = Infinity;
  for (let i = Math.floor(p[0]) - 1; i <= Math.floor(p[0]) + 1; ++i) {
    for (let k = Math.floor(p[2]) - 1; k <= Math.floor(p[2]) + 1; ++k) {
      if (i < 0 || k < 0 || i >= ROLLING.cells || k >= ROLLING.cells) continue;
      const c = cellCorners(i, k);
      for (let t = 0; t < 18; t += 9)
        nearest = Math.min(nearest, distanceToTriangle(centre, unit(c.slice(t, t + 3)), unit(c.slice(t + 3, t + 6)), unit(c.slice(t + 6, t + 9))));
    }
  }
  return nearest < 1 ? (1 - nearest) * r[1] : 0;
}

// Bodies of equal radii r at centres (flat x y z) inside another by more than OVERLAP_COUNTED
// (count, and a flag a body), and the deepest overlap: 2 less their centres' distance where both are unit spheres, in x radii.
export function measureOverlaps(centres, r) {
  const n = centres.length / 3, inside = new Uint8Array(n);
  let deepest = 0;
  for (let i = 0; i < n; ++i) {
    for (let k = i + 1; k < n; ++k) {
      const dx = (centres[3 * k] - centres[3 * i]) / r[0], dz = (centres[3 * k + 2] - centres[3 * i + 2]) / r[2];
      if (Math.abs(dx) >= 2 || Math.abs(dz) >= 2) continue;
      const dy = (centres[3 * k + 1] - centres[3 * i + 1]) / r[1];
      const depth = (2 - Math.hypot(dx, dy, dz)) * r[0];
      if (depth > deepest) deepest = depth;
      if (depth > OVERLAP_COUNTED) inside[i] = inside[k] = 1;
    }
  }
  return { overlapping: inside.reduce((s, v) => s + v, 0), deepest, inside };
}

// Starts a scene from an empty system: kind 'crowd' or 'rolling', recovery on or off. Answers
// its bodies (object numbers, radii, the ground's corners) and step(), which runs one frame and
// answers the readout.
export function createCrowdScene(vor, kind, recover) {
  vor.StopCollisionVOR();
  vor.SetOverlapRecoveryVOR(ALL_TYPES, ALL_TYPES, recover ? 1 : 0);
  const setup = kind === 'crowd' ? CROWD : ROLLING;
  const ground = kind === 'crowd' ? flatFloor() : heightfield();
  const groundNumber = 1;
  vor.NewCollObjVOR(groundNumber, GROUND_TYPE);
  vor.AddObjShapeVOR(groundNumber, 2);
  vor.AddMeshVOR(groundNumber, makeVertexBlock(ground));
  vor.SetObjPosVOR(0, 0, 0);
  vor.SetObjRotVOR(0, 0, 0);
  vor.UpdateObjVOR(groundNumber, 1);
  vor.ActivateObjVOR(groundNumber);
  vor.SetCollisionsVOR(BODY_TYPE, GROUND_TYPE, 2, RESPONSE, 1);
  if (kind === 'crowd') vor.SetCollisionsVOR(BODY_TYPE, BODY_TYPE, 1, RESPONSE, 1);

  const bodies = kind === 'crowd' ? crowdBodies() : rollingBodies();
  bodies.forEach((b, i) => {
    b.number = i + 2;
    vor.NewCollObjVOR(b.number, BODY_TYPE);
    vor.AddObjShapeVOR(b.number, 1);
    vor.SetObjRadiusVOR(b.number, ...setup.radii);
    vor.SetObjPosVOR(...b.at);
    vor.SetObjRotVOR(0, 0, 0);
    vor.UpdateObjVOR(b.number, 1);
    if (kind === 'crowd') vor.SetObjGravityVOR(b.number, CROWD.gravity);
    vor.ActivateObjVOR(b.number);
  });

  const scene = { kind, recover: !!recover, radii: setup.radii, ground, bodies, frame: 0, centres: new Float32Array(3 * bodies.length), deepestInGround: 0, walkersOver2mm: 0 };
  const walkerDeepest = new Float64Array(bodies.length);
  const read = () => bodies.forEach((b, i) => scene.centres.set([vor.PeekObjXVOR(b.number), vor.PeekObjYVOR(b.number), vor.PeekObjZVOR(b.number)], 3 * i));
  read();

  // The system-wide switch, live: the next pass recovers, or not.
  scene.setRecovery = (on) => {
    scene.recover = !!on;
    vor.SetOverlapRecoveryVOR(ALL_TYPES, ALL_TYPES, on ? 1 : 0);
  };

  scene.step = () => {
    scene.frame += 1;
    bodies.forEach((b, i) => {
      const [x, y, z] = scene.centres.subarray(3 * i, 3 * i + 3);
      let to;
      if (kind === 'crowd') {
        const dx = b.target[0] - x, dz = b.target[1] - z, d = Math.hypot(dx, dz);
        const s = d > CROWD.step ? CROWD.step / d : 1;
        to = [x + dx * s, y, z + dz * s];
      } else {
        const e = ROLLING.edge, far = ROLLING.cells - e;
        if (x < e || z < e || x > far || z > far) b.heading = Math.atan2(ROLLING.cells / 2 - z, ROLLING.cells / 2 - x);
        to = [x + Math.cos(b.heading) * ROLLING.step, y - ROLLING.fall, z + Math.sin(b.heading) * ROLLING.step];
      }
      vor.SetObjPosVOR(...to);
      vor.SetObjRotVOR(0, 0, 0);
      vor.UpdateObjVOR(b.number, 0);
    });
    vor.RunCollisionVOR();
    read();
    return scene.measure();
  };

  // The readout after the last pass.
  scene.measure = () => {
    const out = { frame: scene.frame, recover: scene.recover, ...measureOverlaps(scene.centres, setup.radii) };
    if (kind === 'rolling') {
      let now = 0;
      bodies.forEach((b, i) => {
        const d = depthInGround(scene.centres.subarray(3 * i, 3 * i + 3), setup.radii);
        now = Math.max(now, d);
        if (d > SUNK_COUNTED) out.inside[i] = 1; // drawn as a body inside another is
        walkerDeepest[i] = Math.max(walkerDeepest[i], d);
      });
      scene.deepestInGround = Math.max(scene.deepestInGround, now);
      Object.assign(out, { inGroundNow: now, deepestInGround: scene.deepestInGround, walkersOver2mm: walkerDeepest.filter((d) => d > SUNK_COUNTED).length });
    }
    return out;
  };
  return scene;
}

// Characters standing 2 cm above the floor, each with the centre of its block as its goal.
function crowdBodies() {
  const { side, block, pitch, radii } = CROWD, out = [];
  for (let i = 0; i < side * side; ++i) {
    const column = i % side, row = Math.floor(i / side);
    const centre = (n) => (Math.floor(n / block) * block + (block - 1) / 2) * pitch;
    out.push({ at: [column * pitch, radii[1] + 0.02, row * pitch], target: [centre(column), centre(row)] });
  }
  return out;
}

// Walkers a centimetre above the ground on a 4 x 4 lattice, each setting off its own way.
function rollingBodies() {
  const { walkers, spacing, radii } = ROLLING, out = [];
  for (let w = 0; w < walkers * walkers; ++w) {
    const x = spacing / 2 + (w % walkers) * spacing, z = spacing / 2 + Math.floor(w / walkers) * spacing;
    out.push({ at: [x, groundHeight(x, z) + radii[1] + 0.01, z], heading: 0.7 * w });
  }
  return out;
}

function flatFloor() {
  const lo = -5, hi = CROWD.side * CROWD.pitch + 5;
  return [lo, 0, lo, lo, 0, hi, hi, 0, hi, lo, 0, lo, hi, 0, hi, hi, 0, lo];
}

function heightfield() {
  const out = [];
  for (let i = 0; i < ROLLING.cells; ++i) for (let k = 0; k < ROLLING.cells; ++k) out.push(...cellCorners(i, k));
  return out;
}
