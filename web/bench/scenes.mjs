// The benchmark's scenes, read from the files web/bench/level_files.cpp writes with the native
// comparison's own code (bench/level_geometry.cpp, bench/peers): the same triangles, segments and
// starts. Also what every library's walkers share: the walking speed, the fall per frame and the
// steering, so that each library is asked for the same steps.
import { readFileSync } from 'node:fs';

export const WALK_SPEED = 0.08; // units per frame, as the native character benchmark
export const FALL_PER_FRAME = 0.05; // the native benchmark's gravity: y units per update
export const RADII = [0.25, 0.45, 0.25]; // the ellipsoid; peers get a capsule 0.5 wide, 0.9 tall
export const CAPSULE = { radius: 0.25, halfHeight: 0.2 };
export const MIN_SLOPE_NORMAL_Y = 0.3; // steeper ground is not stood on
export const FRAME_SECONDS = 1 / 60;

const FORMAT = 1;

export function readScene(file) {
  const bytes = readFileSync(file);
  const buffer = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength);
  const head = new Uint32Array(buffer, 0, 4);
  if (head[0] !== FORMAT) throw new Error(`${file}: format ${head[0]}, expected ${FORMAT}`);
  const [, triangles, rayCount, bodyCount] = head;
  const extent = new Float32Array(buffer, 16, 1)[0];
  let at = 20;
  const take = (n) => {
    const view = new Float32Array(buffer, at, n);
    at += n * 4;
    return view;
  };
  const corners = take(triangles * 9);
  const segments = take(rayCount * 6);
  const bodies = take(bodyCount * 4);
  if (at !== buffer.byteLength) throw new Error(`${file}: ${buffer.byteLength - at} bytes left over`);
  return { triangles, corners, rays: prepareRays(segments), bodies, bodyCount, extent };
}

// Every form a library takes a ray in, made before any clock starts: the segment's ends, its
// length and its unit direction.
function prepareRays(segments) {
  const count = segments.length / 6;
  const length = new Float32Array(count);
  const direction = new Float32Array(count * 3);
  for (let i = 0; i < count; ++i) {
    const s = segments.subarray(i * 6, i * 6 + 6);
    const dx = s[3] - s[0], dy = s[4] - s[1], dz = s[5] - s[2];
    const len = Math.hypot(dx, dy, dz);
    length[i] = len;
    direction.set([dx / len, dy / len, dz / len], i * 3);
  }
  return { count, segments, length, direction };
}

// A small seeded generator (mulberry32), so every library's walkers turn at the same frames.
function generator(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// The walkers' headings over the frames: now and then a turn, and back toward the middle near the
// level's edge. One per library, all made from the same seed.
export class Steering {
  constructor(scene, seed = 7) {
    this.count = scene.bodyCount;
    this.extent = scene.extent;
    this.heading = new Float64Array(this.count);
    for (let k = 0; k < this.count; ++k) this.heading[k] = scene.bodies[k * 4 + 3];
    this.random = generator(seed);
    this.turns = new Float64Array(this.count);
  }
  // Draws this frame's turns; call once a frame before asking any walker's heading.
  nextFrame() {
    for (let k = 0; k < this.count; ++k) {
      const r = this.random();
      this.turns[k] = r < 1 / 64 ? (this.random() - 0.5) * 3 : 0;
    }
  }
  // The heading of walker k standing at (x, z) this frame.
  headingAt(k, x, z) {
    const n = this.extent;
    let h = this.heading[k] + this.turns[k];
    if (x < 1.5 || x > n - 1.5 || z < 1.5 || z > n - 1.5) h = Math.atan2(n * 0.5 - z, n * 0.5 - x);
    this.heading[k] = h;
    return h;
  }
}
