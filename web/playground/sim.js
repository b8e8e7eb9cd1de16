// The playground's game: it drives the library through its exports exactly as a host does. Each
// frame moves the platforms, asks the character for one step (the library subtracts gravity),
// runs one collision pass and reads back positions and contacts. Every call can be recorded as a
// trace in vorcollide-scene's format, and the results of the recorded calls are folded into a
// hash, so a run here can be replayed by the command-line tool against the Linux module.
import { EXPORTS, floatFromBits } from 'vorcollide';
import { formatResult } from './trace.js';

export const TYPES = { character: 1, level: 2, elevator: 3, turntable: 4, ball: 6 };
export const CHARACTER = 101;
const BALLS = [
  { number: 111, radii: [0.6, 0.6, 0.6], at: [-6.5, 0.6, 3.5] },
  { number: 112, radii: [1.2, 0.5, 0.4], at: [-3.5, 0.5, 5.0] },
];
// A jump's first upward step and how much less each further step rises, in character radii.
const JUMP_PER_RADIUS = 0.8;
const JUMP_DECAY_PER_RADIUS = 0.04;
// In the air the walk can change the body's horizontal motion by this share of a walking step a
// frame, so walking off an edge carries the body on instead of letting it turn back at once.
const AIR_CONTROL = 0.1;
// A body that falls this many level heights (at least 20 radii) below the level is put back on the
// surface nearest to where it fell.
const FALL_LEVEL_HEIGHTS = 1;
const FALL_MIN_RADII = 20;

// Levels larger than this are refused with a message instead of stalling the page.
export const LIMITS = { maxTriangles: 1000000, maxFileBytes: 128 * 1024 * 1024 };

const SIGNATURES = Object.fromEntries(EXPORTS.map((e) => [e.name, e]));
const FNV_OFFSET = 14695981039346656037n, FNV_PRIME = 1099511628211n, MASK64 = (1n << 64n) - 1n;

// Folds the four bytes of a 32-bit result, lowest first, into a 64-bit FNV-1a hash.
export function hashWord(hash, value) {
  let u = value >>> 0;
  for (let i = 0; i < 4; ++i) {
    hash ^= BigInt(u & 0xff);
    hash = (hash * FNV_PRIME) & MASK64;
    u >>>= 8;
  }
  return hash;
}
export const HASH_START = FNV_OFFSET;

// A float written with the fewest digits (at most nine) that read back to the same 32 bits.
export function formatFloat(v) {
  const f = Math.fround(v);
  if (Number.isNaN(f)) {
    const dv = new DataView(new ArrayBuffer(4));
    dv.setFloat32(0, f, true);
    return `nan:0x${dv.getUint32(0, true).toString(16).padStart(8, '0')}`;
  }
  if (!Number.isFinite(f)) return f > 0 ? 'inf' : '-inf';
  for (let p = 1; p <= 9; ++p) {
    const s = f.toPrecision(p);
    if (Math.fround(Number(s)) === f) return String(Number(s));
  }
  return f.toPrecision(9);
}

// A slab: a box of width w, height h and thickness t whose front face is centred on c facing
// n (a unit vector), its other faces turned out. Flat corners, nine numbers a triangle.
export function slab(c, n, w, h, t) {
  const sub = (a, b) => a.map((v, i) => v - b[i]), add = (a, b) => a.map((v, i) => v + b[i]), mul = (a, k) => a.map((v) => v * k);
  const cross = (a, b) => [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]];
  const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  let u = cross([0, 1, 0], n);
  u = Math.hypot(...u) < 1e-3 ? [1, 0, 0] : mul(u, 1 / Math.hypot(...u));
  const v = cross(n, u);
  const corner = (su, sv, back) => add(add(add(c, mul(u, (su * w) / 2)), mul(v, (sv * h) / 2)), mul(n, -back * t));
  const centre = add(c, mul(n, -t / 2));
  const out = [];
  const quad = (p, q, r, s) => {
    const middle = mul(add(add(p, q), add(r, s)), 0.25);
    if (dot(cross(sub(q, p), sub(r, p)), sub(middle, centre)) < 0) [q, s] = [s, q];
    out.push(...p, ...q, ...r, ...p, ...r, ...s);
  };
  const k = [[-1, -1], [1, -1], [1, 1], [-1, 1]];
  quad(...k.map(([a, b]) => corner(a, b, 0)));
  quad(...k.map(([a, b]) => corner(a, b, 1)));
  for (let i = 0; i < 4; ++i) {
    const [a, b] = k[i], [c2, d] = k[(i + 1) % 4];
    quad(corner(a, b, 0), corner(c2, d, 0), corner(c2, d, 1), corner(a, b, 1));
  }
  return out;
}

// The playground's one addition to vorcollide-scene's built-in level: a crevice where a steep
// slope meets an overhanging wall. Walked into from the front, the concave modes leave the
// character in five different places (the crease of the two faces is followed, or not, mode by
// mode), where every corner of the tool's level treats all seven alike.
const CREVICE_AT = [-10, 1.04, 4.5];
const CREVICE = {
  number: 12, type: TYPES.level, name: 'crevice', note: 'a steep slope under an overhanging wall: the concave modes differ here',
  colour: '#c9a36b', motion: 'static', position: [0, 0, 0], byTriangles: false,
  corners: Float32Array.from([
    ...slab(CREVICE_AT, [0.8686445596717812, 0.38673058870970534, 0.3096709232538017], 5, 5, 0.3),
    ...slab(CREVICE_AT, [-0.9525304897451571, -0.16419168704600642, 0.256372299616861], 5, 5, 0.3),
  ]),
};
export const CONCAVE_SPOT = {
  what: 'The crevice (at the front left): a steep slope under an overhanging wall, walked into for 2.5 s',
  start: [-10.366, 0.02, 6.973],
  to: [-9.904, 4.380],
  frames: 150,
};

// The level as built-in data (scene-data.json) or from a dropped file: objects with local
// triangles as a flat list of corners, nine numbers each.
export function builtInLevel(sceneData) {
  return {
    source: 'built-in',
    start: [-11, 0.02, -6],
    elevator: sceneData.elevator,
    objects: [...sceneData.level.map((o) => ({ ...o, corners: Float32Array.from(o.triangles.flat()) })), CREVICE],
  };
}

// The level's box in world coordinates at its objects' start positions: { min, max }.
export function levelBounds(level) {
  const min = [Infinity, Infinity, Infinity], max = [-Infinity, -Infinity, -Infinity];
  for (const o of level.objects) {
    const c = o.corners, at = o.position || [0, 0, 0];
    for (let i = 0; i < c.length; i += 3) {
      for (let a = 0; a < 3; ++a) {
        min[a] = Math.min(min[a], c[i + a] + at[a]);
        max[a] = Math.max(max[a], c[i + a] + at[a]);
      }
    }
  }
  return { min, max };
}

// The character's size, speed and fall on a level, by vorcollide-scene's rules (rules is the
// "characters" entry of scene-data.json, written from the tool's own constants): the built-in
// level's own values, or a radius of 1/levelWidthPerRadius of a loaded level's width, walking
// and falling in proportion to the radius. how says why, as the tool's summary does.
export function chooseScale(bounds, builtIn, rules) {
  let radius = rules.radius, how = "the built-in level's";
  if (!builtIn) {
    let width = Math.max(bounds.max[0] - bounds.min[0], bounds.max[2] - bounds.min[2]);
    if (!(width > 0)) width = bounds.max[1] - bounds.min[1];
    if (width > 0) {
      radius = Math.fround(width / rules.levelWidthPerRadius);
      how = `1/${rules.levelWidthPerRadius} of the level's width of ${Number(width.toPrecision(3))}`;
    }
  }
  const k = radius / rules.radius;
  return {
    radius, radiusY: Math.fround(radius * rules.heightPerRadius), how,
    step: radius === rules.radius ? rules.step : Math.fround(rules.step * k),
    gravity: radius === rules.radius ? rules.gravity : Math.fround(rules.gravity * k),
    jump: JUMP_PER_RADIUS * radius, jumpDecay: JUMP_DECAY_PER_RADIUS * radius,
  };
}

export function meshLevel(corners, source) {
  return {
    source,
    start: null, // found on the surface when the level is built
    objects: [{ number: 1, type: TYPES.level, name: 'level mesh', colour: '#c7c7c7', motion: 'static', position: [0, 0, 0], corners, byTriangles: false }],
  };
}

export const DEFAULT_SETTINGS = { response: 3, concave: 3, sizeMode: 0, minSlope: 0.9, dynamic: 4, optimize: 1 };

// (x, z) shortened to at most length max.
function limitLength(x, z, max) {
  const len = Math.hypot(x, z);
  return len > max ? [(x * max) / len, (z * max) / len] : [x, z];
}

// The contact the character stands on, by the library's own walkable test: a contact normal
// whose y exceeds the minimum slope, at a point below the body's centre. null when none.
export function groundContact(contacts, centreY, minSlope) {
  let best = null;
  for (const c of contacts) if (c.normal[1] > minSlope && c.point[1] < centreY && (!best || c.normal[1] > best.normal[1])) best = c;
  return best;
}

export function createSim(vor, rules) {
  const sim = {
    vor,
    rules,
    level: null,
    bounds: null,
    scale: null,
    settings: { ...DEFAULT_SETTINGS, minSlope: rules.minSlope },
    frame: 0,
    jumpSpeed: 0,
    velocity: [0, 0], // horizontal motion asked for last frame, units per frame
    grounded: false,
    ground: 0, // the object stood on, or 0
    respawns: 0,
    fallLimit: -Infinity,
    trace: null, // lines while recording
    hash: HASH_START,
    resultsHashed: 0,
    contacts: [],
    balls: BALLS,
  };

  // Every call to the library goes through here, to be recorded and hashed when asked.
  function call(name, ...args) {
    const raw = vor.bits[name](...args);
    if (sim.trace) {
      const sig = SIGNATURES[name];
      let line = name;
      for (let i = 0; i < args.length; ++i) {
        const kind = sig.args[i];
        line += ' ' + (kind === 'f' ? formatFloat(args[i]) : kind === 'u' ? String(args[i] >>> 0) : String(args[i] | 0));
      }
      if (sig.result !== 'v') {
        line += `  # -> ${formatResult(sig.result, raw)}`;
        sim.hash = hashWord(sim.hash, raw);
        ++sim.resultsHashed;
      }
      sim.trace.push(line);
    }
    return raw;
  }
  const callFloat = (name, ...args) => floatFromBits(call(name, ...args));
  sim.call = call;
  sim.callFloat = callFloat;

  function addMeshBlock(number, corners) {
    const count = corners.length / 3;
    const block = new DataView(new ArrayBuffer(12 + count * 12));
    block.setUint32(0, 0x484f5354, true);
    block.setUint32(4, 12, true);
    block.setInt32(8, count, true);
    for (let i = 0; i < corners.length; ++i) block.setFloat32(12 + 4 * i, corners[i], true);
    if (sim.trace) {
      let line = `AddMeshVOR ${number} block ${0x484f5354} 12 ${count}`;
      for (let i = 0; i < corners.length; ++i) line += ' ' + formatFloat(corners[i]);
      sim.trace.push(line);
    }
    vor.AddMeshVOR(number, block.buffer);
  }

  // Where a moving platform is at a time: the elevator waits, rises, waits and comes down again
  // (7 s a round); the turntable turns 30 degrees a second.
  function platformPose(o, seconds) {
    if (o.motion === 'elevator') {
      const low = sim.level.elevator?.low ?? 0.1, high = sim.level.elevator?.high ?? 2.1;
      const t = seconds % 7;
      const y = t < 2 ? low : t < 4 ? low + ((high - low) * (t - 2)) / 2 : t < 5 ? high : high - ((high - low) * (t - 5)) / 2;
      return { position: [o.position[0], Math.min(high, Math.max(low, y)), o.position[2]], yaw: 0 };
    }
    if (o.motion === 'turntable') return { position: o.position, yaw: (30 * seconds) % 360 };
    return { position: o.position, yaw: 0 };
  }
  sim.platformPose = platformPose;

  // Builds the whole world from an empty system: definitions are only ever added, so a change of
  // response means starting over, with the character where it stands.
  function build(feet) {
    const s = sim.settings;
    call('StopCollisionVOR');
    call('SetEllipOptimizeVOR', s.optimize);
    call('SetEllipSizeModeVOR', s.sizeMode);
    call('SetConcaveModeVOR', s.concave);
    call('SetCollisionsVOR', TYPES.character, TYPES.level, 2, s.response, 1);
    call('SetCollisionsVOR', TYPES.character, TYPES.elevator, 2, s.response, s.dynamic);
    call('SetCollisionsVOR', TYPES.character, TYPES.turntable, 2, s.response, s.dynamic);
    call('SetCollisionsVOR', TYPES.character, TYPES.ball, 1, s.response, 1);
    const seconds = sim.frame / 60;
    for (const o of sim.level.objects) {
      call('NewCollObjVOR', o.number, o.type);
      call('AddObjShapeVOR', o.number, 2);
      if (o.byTriangles) {
        const c = o.corners;
        for (let i = 0; i < c.length; i += 9) call('AddMeshTri', o.number, c[i], c[i + 1], c[i + 2], c[i + 3], c[i + 4], c[i + 5], c[i + 6], c[i + 7], c[i + 8]);
      } else {
        addMeshBlock(o.number, o.corners);
      }
      const pose = platformPose(o, seconds);
      call('SetObjPosVOR', ...pose.position);
      call('SetObjRotVOR', 0, pose.yaw, 0);
      call('UpdateObjVOR', o.number, 1);
      call('ActivateObjVOR', o.number);
    }
    if (sim.level.source === 'built-in') {
      for (const b of BALLS) {
        call('NewCollObjVOR', b.number, TYPES.ball);
        call('AddObjShapeVOR', b.number, 1);
        call('SetObjRadiusVOR', b.number, ...b.radii);
        call('SetObjPosVOR', ...b.at);
        call('SetObjRotVOR', 0, 0, 0);
        call('UpdateObjVOR', b.number, 1);
        call('ActivateObjVOR', b.number);
      }
    }
    call('NewCollObjVOR', CHARACTER, TYPES.character);
    call('AddObjShapeVOR', CHARACTER, 1);
    const sc = sim.scale;
    call('SetObjRadiusVOR', CHARACTER, sc.radius, sc.radiusY, sc.radius);
    call('SetEllipOffsetVOR', CHARACTER, 0, sc.radiusY, 0);
    call('SetObjGravityVOR', CHARACTER, sc.gravity);
    call('SetObjMinSlopeVOR', CHARACTER, s.minSlope);
    call('SetObjPosVOR', ...feet);
    call('SetObjRotVOR', 0, 0, 0);
    call('UpdateObjVOR', CHARACTER, 1);
    call('ActivateObjVOR', CHARACTER);
    sim.jumpSpeed = 0;
    sim.velocity = [0, 0];
    sim.grounded = false;
    sim.ground = 0;
    sim.contacts = [];
  }

  // Puts the character at feet at once (no sweep, no gravity this frame), standing still.
  function placeCharacter(feet) {
    call('SetObjPosVOR', ...feet);
    call('SetObjRotVOR', 0, 0, 0);
    call('UpdateObjVOR', CHARACTER, 1);
    sim.jumpSpeed = 0;
    sim.velocity = [0, 0];
    sim.grounded = false;
    sim.ground = 0;
    sim.contacts = [];
  }

  // Where a ray straight down through the whole level first meets a ground mesh at (x, z), as
  // vorcollide-scene places its walkers (meshes are hit from the front only), or null.
  function surfaceBelow(x, z) {
    const { min, max } = sim.bounds, margin = 1 + (max[1] - min[1]);
    let best = null;
    for (const type of [TYPES.level, TYPES.elevator, TYPES.turntable]) {
      if (!call('RayIntersectTypeVOR', type, 2, x, max[1] + margin, z, x, min[1] - margin, z)) continue;
      const dist = callFloat('RayHitDist');
      if (!best || dist < best.dist) best = { dist, point: [callFloat('RayHitPosX'), callFloat('RayHitPosY'), callFloat('RayHitPosZ')] };
    }
    return best && best.point;
  }

  // The surface point below (x, z) when the level is under the whole body there, as
  // vorcollide-scene places its walkers: rays a radius out along x and z meet it too, within a
  // radius of the same height. null on a leg's tip, a rail or over a hole.
  function groundUnder(x, z) {
    const hit = surfaceBelow(x, z), r = sim.scale.radius;
    if (!hit) return null;
    for (const [dx, dz] of [[r, 0], [-r, 0], [0, r], [0, -r]]) {
      const side = surfaceBelow(x + dx, z + dz);
      if (!side || Math.abs(side[1] - hit[1]) > r) return null;
    }
    return hit;
  }

  // The ground nearest (x, z): the one straight below, else the nearest point of the tool's
  // surface grid over the level's bounds; null when the level has no ground anywhere.
  function surfaceNear(x, z) {
    const below = groundUnder(x, z);
    if (below) return below;
    if (!sim.surfaceGrid) {
      const { min, max } = sim.bounds, n = rules.surfaceGrid;
      sim.surfaceGrid = [];
      for (let i = 0; i < n; ++i) {
        for (let k = 0; k < n; ++k) {
          const hit = groundUnder(min[0] + ((max[0] - min[0]) * (i + 0.5)) / n, min[2] + ((max[2] - min[2]) * (k + 0.5)) / n);
          if (hit) sim.surfaceGrid.push(hit);
        }
      }
    }
    let best = null;
    for (const p of sim.surfaceGrid) if (!best || Math.hypot(p[0] - x, p[2] - z) < Math.hypot(best[0] - x, best[2] - z)) best = p;
    return best;
  }
  const lifted = (p) => [p[0], p[1] + rules.startLiftPerRadius * sim.scale.radius, p[2]];
  sim.surfaceNear = surfaceNear;

  sim.feet = () => [callFloat('PeekObjXVOR', CHARACTER), callFloat('PeekObjYVOR', CHARACTER), callFloat('PeekObjZVOR', CHARACTER)];

  // A new level: sized by the tool's rules; a loaded level's start is the surface nearest its
  // middle (above the level when no ray meets it, with hasSurface false).
  sim.setLevel = (level) => {
    sim.level = level;
    sim.frame = 0;
    sim.respawns = 0;
    sim.surfaceGrid = null;
    sim.bounds = levelBounds(level);
    const { min, max } = sim.bounds;
    sim.scale = chooseScale(sim.bounds, level.source === 'built-in', rules);
    sim.fallLimit = min[1] - Math.max(FALL_LEVEL_HEIGHTS * (max[1] - min[1]), FALL_MIN_RADII * sim.scale.radius);
    if (level.start) {
      build(level.start);
      return;
    }
    const middle = [(min[0] + max[0]) / 2, max[1] + sim.scale.radiusY, (min[2] + max[2]) / 2];
    build(middle);
    const surface = surfaceNear(middle[0], middle[2]);
    level.hasSurface = !!surface;
    level.start = surface ? lifted(surface) : middle;
    placeCharacter(level.start);
  };
  sim.respawn = () => build(sim.level.start);
  sim.placeAt = (feet) => placeCharacter(feet);

  // Walks the character from spot.start towards spot.to for spot.frames frames once per concave
  // mode, each time from a fresh world at frame 0, and answers where each mode left it. The
  // world is then rebuilt with the settings it had, the character at spot.start.
  sim.compareConcaveModes = (spot = CONCAVE_SPOT) => {
    const saved = { ...sim.settings };
    const results = [];
    for (let mode = 1; mode <= 7; ++mode) {
      sim.settings = { ...saved, concave: mode };
      sim.frame = 0;
      build(spot.start);
      for (let i = 0; i < spot.frames; ++i) sim.step({ to: spot.to });
      results.push({ mode, feet: sim.feet() });
    }
    sim.settings = saved;
    sim.frame = 0;
    build(spot.start);
    return results;
  };
  // Back on the surface nearest to where the character is (or fell), or at the start.
  sim.respawnNearest = () => {
    const feet = sim.feet();
    const surface = surfaceNear(feet[0], feet[2]);
    placeCharacter(surface ? lifted(surface) : sim.level.start);
    sim.respawns += 1;
  };

  // Applies changed settings: the concave mode, size mode and minimum slope are set live; a new
  // response or dynamic response rebuilds the world around the character.
  sim.applySettings = (changes) => {
    const before = { ...sim.settings };
    Object.assign(sim.settings, changes);
    const s = sim.settings;
    if (s.response !== before.response || s.dynamic !== before.dynamic || s.optimize !== before.optimize) {
      build(sim.feet());
      return;
    }
    if (s.concave !== before.concave) call('SetConcaveModeVOR', s.concave);
    if (s.sizeMode !== before.sizeMode) call('SetEllipSizeModeVOR', s.sizeMode);
    if (s.minSlope !== before.minSlope) call('SetObjMinSlopeVOR', CHARACTER, s.minSlope);
  };

  function readContacts(n) {
    const list = [];
    const count = call('CountCollisionsVOR', n);
    for (let k = 1; k <= count; ++k) {
      list.push({
        point: [1, 2, 3].map((a) => callFloat('CollisionHitPos', n, k, a)),
        normal: [1, 2, 3].map((a) => callFloat('CollisionHitNorm', n, k, a)),
        object: call('CollisionHitObj', n, k),
        type: call('CollisionHitType', n, k),
        shape: call('CollisionHitShape', n, k),
        polygon: call('CollisionHitPoly', n, k),
      });
    }
    return list;
  }

  // One frame. input: { dx, dz } the walk this frame (units) or { to: [x, z] } a point to walk
  // towards, and jump (true to jump when grounded).
  sim.step = (input) => {
    sim.frame += 1;
    const seconds = sim.frame / 60;
    for (const o of sim.level.objects) {
      if (o.motion !== 'elevator' && o.motion !== 'turntable') continue;
      const pose = platformPose(o, seconds);
      call('SetObjPosVOR', ...pose.position);
      call('SetObjRotVOR', 0, pose.yaw, 0);
      call('UpdateObjVOR', o.number, 0);
    }
    const feet = sim.feet();
    const rot = [callFloat('PeekObjPitch', CHARACTER), callFloat('PeekObjYaw', CHARACTER), callFloat('PeekObjRoll', CHARACTER)];
    const sc = sim.scale;
    if (input.jump && sim.grounded && sim.jumpSpeed === 0) sim.jumpSpeed = sc.jump;
    const up = sim.jumpSpeed;
    sim.jumpSpeed = Math.max(0, sim.jumpSpeed - sc.jumpDecay);
    let dx = input.dx || 0, dz = input.dz || 0;
    if (input.to) {
      // Walk towards a point; close enough is there.
      dx = input.to[0] - feet[0];
      dz = input.to[1] - feet[2];
      if (Math.hypot(dx, dz) < 1.25 * sc.step) dx = dz = 0;
    }
    [dx, dz] = limitLength(dx, dz, sc.step);
    if (!sim.grounded) {
      // In the air the walk only nudges the motion the body had.
      const [ax, az] = limitLength(dx - sim.velocity[0], dz - sim.velocity[1], AIR_CONTROL * sc.step);
      dx = sim.velocity[0] + ax;
      dz = sim.velocity[1] + az;
    }
    sim.velocity = [dx, dz];
    call('SetObjPosVOR', feet[0] + dx, feet[1] + up, feet[2] + dz);
    call('SetObjRotVOR', ...rot);
    call('UpdateObjVOR', CHARACTER, 0);
    call('RunCollisionVOR');
    const now = sim.feet();
    sim.contacts = readContacts(CHARACTER);
    const ground = groundContact(sim.contacts, now[1] + sc.radiusY, sim.settings.minSlope);
    sim.ground = ground ? ground.object : 0;
    sim.grounded = !!ground;
    if (now[1] < sim.fallLimit) {
      sim.respawnNearest();
      return sim.feet();
    }
    return now;
  };

  // A ray from start to end against every mesh and ellipsoid type; the nearest hit or null.
  sim.castRay = (start, end) => {
    const types = new Set([TYPES.character, TYPES.ball, ...sim.level.objects.map((o) => o.type)]);
    let best = null;
    for (const type of types) {
      for (const kind of [1, 2]) {
        if (!call('RayIntersectTypeVOR', type, kind, ...start, ...end)) continue;
        const dist = callFloat('RayHitDist');
        if (best && dist >= best.dist) continue;
        best = {
          dist,
          kind,
          point: [callFloat('RayHitPosX'), callFloat('RayHitPosY'), callFloat('RayHitPosZ')],
          normal: [callFloat('RayHitNormX'), callFloat('RayHitNormY'), callFloat('RayHitNormZ')],
          object: call('RayHitObjVOR'),
          type: call('RayHitTypeVOR'),
        };
      }
    }
    return best;
  };

  sim.startRecording = (title) => {
    sim.trace = ['# vorcollide call trace: one exported call per line, results as comments', `# ${title}`];
    sim.hash = HASH_START;
    sim.resultsHashed = 0;
  };
  sim.stopRecording = () => {
    const text = sim.trace ? sim.trace.join('\n') + '\n' : '';
    sim.trace = null;
    return text;
  };
  return sim;
}

// The scripted walk the browser test runs (and anyone can run from the page): up the ramp onto
// the deck, off its edge down onto the stairs' landing, a jump to the floor and on into the
// concave corner, pushing into it with two concave modes and responses 3 and 4; the size mode
// and minimum slope change on the way. One entry per segment.
export const SCRIPTED_WALK = [
  { frames: 20 },
  { frames: 175, to: [-4.0, -6.0] },
  { frames: 10, to: [-4.0, -5.4] },
  { frames: 1, settings: { concave: 7 } },
  { frames: 90, to: [-1.6, -5.4] },
  { frames: 1, settings: { sizeMode: 1, minSlope: 0.8 } },
  { frames: 40, to: [0.0, -5.4], jump: true },
  { frames: 170, to: [6.4, -6.9] },
  { frames: 1, settings: { concave: 2 } },
  { frames: 50, to: [7.5, -8.0] },
  { frames: 1, settings: { response: 4 } },
  { frames: 41, to: [7.5, -8.0] },
];
export const SCRIPTED_WALK_FRAMES = SCRIPTED_WALK.reduce((n, s) => n + s.frames, 0);

// The input of every frame of the scripted walk, with the settings to apply before it.
export function* scriptedInputs() {
  for (const segment of SCRIPTED_WALK) {
    for (let i = 0; i < segment.frames; ++i)
      yield { dx: segment.dx ?? 0, dz: segment.dz ?? 0, to: segment.to, jump: !!segment.jump, settings: i === 0 ? segment.settings : undefined };
  }
}
