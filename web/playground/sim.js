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
const RADII = [0.25, 0.45, 0.25]; // the character, as in vorcollide-scene
const GRAVITY = 0.02; // y units per frame
const WALK = 0.04; // units per frame
const JUMP = 0.2; // first upward step of a jump, y units per frame
const GROUND_PROBE = 0.1;

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

// The level as built-in data (scene-data.json) or from a dropped file: objects with local
// triangles as a flat list of corners, nine numbers each.
export function builtInLevel(sceneData) {
  return {
    source: 'built-in',
    start: [-11, 0.02, -6],
    elevator: sceneData.elevator,
    objects: sceneData.level.map((o) => ({ ...o, corners: Float32Array.from(o.triangles.flat()) })),
  };
}

export function meshLevel(corners, source) {
  let lo = [Infinity, Infinity, Infinity], hi = [-Infinity, -Infinity, -Infinity];
  for (let i = 0; i < corners.length; i += 3) {
    for (let a = 0; a < 3; ++a) {
      lo[a] = Math.min(lo[a], corners[i + a]);
      hi[a] = Math.max(hi[a], corners[i + a]);
    }
  }
  return {
    source,
    start: [(lo[0] + hi[0]) / 2, hi[1] + 0.5, (lo[2] + hi[2]) / 2],
    objects: [{ number: 1, type: TYPES.level, name: 'level mesh', colour: '#c7c7c7', motion: 'static', position: [0, 0, 0], corners, byTriangles: false }],
  };
}

export function createSim(vor) {
  const sim = {
    vor,
    level: null,
    settings: { response: 3, concave: 3, sizeMode: 0, minSlope: 0.9, dynamic: 4, optimize: 1 },
    frame: 0,
    jumpSpeed: 0,
    grounded: false,
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
    call('SetObjRadiusVOR', CHARACTER, ...RADII);
    call('SetEllipOffsetVOR', CHARACTER, 0, RADII[1], 0);
    call('SetObjGravityVOR', CHARACTER, GRAVITY);
    call('SetObjMinSlopeVOR', CHARACTER, s.minSlope);
    call('SetObjPosVOR', ...feet);
    call('SetObjRotVOR', 0, 0, 0);
    call('UpdateObjVOR', CHARACTER, 1);
    call('ActivateObjVOR', CHARACTER);
    sim.jumpSpeed = 0;
    sim.contacts = [];
  }

  sim.feet = () => [callFloat('PeekObjXVOR', CHARACTER), callFloat('PeekObjYVOR', CHARACTER), callFloat('PeekObjZVOR', CHARACTER)];

  sim.setLevel = (level) => {
    sim.level = level;
    sim.frame = 0;
    build(level.start);
  };
  sim.respawn = () => build(sim.level.start);

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

  // Nearest mesh of the ground types within GROUND_PROBE below the feet, or 0.
  function groundBelow(feet) {
    let best = 0, bestDist = Infinity;
    for (const type of [TYPES.level, TYPES.elevator, TYPES.turntable]) {
      if (!call('RayIntersectTypeVOR', type, 2, feet[0], feet[1] + 0.25, feet[2], feet[0], feet[1] - GROUND_PROBE, feet[2])) continue;
      const d = callFloat('RayHitDist');
      if (d < bestDist) {
        bestDist = d;
        best = call('RayHitObjVOR');
      }
    }
    return best;
  }

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
    if (input.jump && sim.grounded && sim.jumpSpeed === 0) sim.jumpSpeed = JUMP;
    const up = sim.jumpSpeed;
    sim.jumpSpeed = Math.max(0, sim.jumpSpeed - 0.01);
    let dx = input.dx || 0, dz = input.dz || 0;
    if (input.to) {
      // Walk towards a point; close enough is there.
      dx = input.to[0] - feet[0];
      dz = input.to[1] - feet[2];
      if (Math.hypot(dx, dz) < 0.05) dx = dz = 0;
    }
    const len = Math.hypot(dx, dz);
    if (len > WALK) {
      dx *= WALK / len;
      dz *= WALK / len;
    }
    call('SetObjPosVOR', feet[0] + dx, feet[1] + up, feet[2] + dz);
    call('SetObjRotVOR', ...rot);
    call('UpdateObjVOR', CHARACTER, 0);
    call('RunCollisionVOR');
    const now = sim.feet();
    sim.contacts = readContacts(CHARACTER);
    sim.ground = groundBelow(now);
    sim.grounded = sim.ground !== 0;
    if (sim.level.source === 'built-in' && now[1] < -20) build(sim.level.start); // fell off the level
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
