// The two WebAssembly builds side by side in Node: vorcollide.wasm (SIMD128) and
// vorcollide-plain.wasm, on the same generated level (a heightfield of CELLS x CELLS cells, two
// triangles each, with crates), timed per mesh ray and per character step in alternating rounds,
// and every ray's answer compared between the two, bit for bit.
// usage: node web/tools/simd_timing.mjs [BUILD_DIR] [--cells 128,512] [--rounds 5]
//        [--modules FIRST.wasm,SECOND.wasm]  (any two builds instead, say main's against this one)
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { loadVorcollide, makeVertexBlock } from '../vorcollide.mjs';

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const at = args.indexOf(name);
  return at >= 0 ? args[at + 1] : fallback;
};
const buildDir = args[0] && !args[0].startsWith('--') ? args[0] : 'build/web';
const cellSizes = option('--cells', '128,512').split(',').map(Number);
const rounds = Number(option('--rounds', '5'));
const kRays = 20000, kCharacters = 64, kSteps = 100;
const kLevel = 1, kLevelType = 2, kCharacterType = 1;
const kRadii = [0.25, 0.45, 0.25];

// A small seeded generator, so both modules see the same level, rays and walks.
function random(seed) {
  let s = seed >>> 0;
  return () => {
    s = (s + 0x6d2b79f5) >>> 0;
    let t = s;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}
const ground = (x, z) => 1.5 * Math.sin(x * 0.15) * Math.cos(z * 0.12) + 0.5 * Math.sin(0.4 * x + 0.3 * z);

function levelCorners(cells) {
  const out = [];
  const tri = (a, b, c) => out.push(...a, ...b, ...c);
  for (let i = 0; i < cells; ++i) {
    for (let j = 0; j < cells; ++j) {
      const a = [i, ground(i, j), j], b = [i, ground(i, j + 1), j + 1];
      const c = [i + 1, ground(i + 1, j), j], d = [i + 1, ground(i + 1, j + 1), j + 1];
      tri(a, b, c);
      tri(c, b, d);
    }
  }
  const next = random(7);
  for (let k = 0; k < cells * cells / 64; ++k) { // crates: the four sides and the top
    const x = 2 + next() * (cells - 4), z = 2 + next() * (cells - 4), h = 0.3 + next();
    const y0 = ground(x, z) - 0.3, y1 = y0 + 2 * h;
    const p = (dx, y, dz) => [x + dx * h, y, z + dz * h];
    for (const [u, v] of [[[-1, -1], [1, -1]], [[1, -1], [1, 1]], [[1, 1], [-1, 1]], [[-1, 1], [-1, -1]]]) {
      tri(p(u[0], y0, u[1]), p(u[0], y1, u[1]), p(v[0], y1, v[1]));
      tri(p(u[0], y0, u[1]), p(v[0], y1, v[1]), p(v[0], y0, v[1]));
    }
    tri(p(-1, y1, -1), p(-1, y1, 1), p(1, y1, 1));
    tri(p(-1, y1, -1), p(1, y1, 1), p(1, y1, -1));
  }
  return out;
}

function buildScene(vor, corners, cells) {
  vor.StopCollisionVOR();
  vor.NewCollObjVOR(kLevel, kLevelType);
  vor.AddObjShapeVOR(kLevel, 2);
  vor.AddMeshVOR(kLevel, makeVertexBlock(corners));
  vor.SetObjPosVOR(0, 0, 0);
  vor.SetObjRotVOR(0, 0, 0);
  vor.UpdateObjVOR(kLevel, 1);
  vor.ActivateObjVOR(kLevel);
  const next = random(11);
  const walkers = [];
  for (let k = 0; k < kCharacters; ++k) {
    const object = kLevel + 1 + k, x = 2 + next() * (cells - 4), z = 2 + next() * (cells - 4);
    vor.NewCollObjVOR(object, kCharacterType);
    vor.AddObjShapeVOR(object, 1);
    vor.SetObjRadiusVOR(object, ...kRadii);
    vor.SetObjGravityVOR(object, 0.05);
    vor.SetObjPosVOR(x, ground(x, z) + kRadii[1] + 0.05, z);
    vor.SetObjRotVOR(0, 0, 0);
    vor.UpdateObjVOR(object, 1);
    vor.ActivateObjVOR(object);
    walkers.push({ object, heading: next() * 2 * Math.PI });
  }
  vor.SetCollisionsVOR(kCharacterType, kLevelType, 2, 3, 1);
  // Build the hierarchy before timing: one ray and one pass.
  vor.RayIntersectObjectVOR(kLevel, 2, 1, 10, 1, 1, -10, 1);
  vor.RunCollisionVOR();
  return walkers;
}

function rays(cells) {
  const next = random(13), out = [];
  for (let k = 0; k < kRays; ++k) {
    const x = 1 + next() * (cells - 2), z = 1 + next() * (cells - 2);
    const dx = (next() - 0.5) * 40, dz = (next() - 0.5) * 40;
    out.push([x, 6, z, x + dx, -4, z + dz]);
  }
  return out;
}

function castAll(vor, list, answers) {
  let hits = 0;
  for (let k = 0; k < list.length; ++k) {
    const hit = vor.RayIntersectObjectVOR(kLevel, 2, ...list[k]);
    hits += hit;
    if (answers) answers.push(hit, vor.bits.RayHitDist(), vor.bits.RayHitNormY());
  }
  return hits;
}

function stepAll(vor, walkers, cells, next) {
  for (let s = 0; s < kSteps; ++s) {
    for (const w of walkers) {
      const x = vor.PeekObjXVOR(w.object), y = vor.PeekObjYVOR(w.object), z = vor.PeekObjZVOR(w.object);
      if (next() < 1 / 64) w.heading += (next() - 0.5) * 3;
      if (x < 1.5 || x > cells - 1.5 || z < 1.5 || z > cells - 1.5) w.heading = Math.atan2(cells / 2 - z, cells / 2 - x);
      vor.SetObjPosVOR(x + Math.cos(w.heading) * 0.08, y, z + Math.sin(w.heading) * 0.08);
      vor.SetObjRotVOR(0, (w.heading * 180) / Math.PI, 0);
      vor.UpdateObjVOR(w.object, 0);
    }
    vor.RunCollisionVOR();
  }
}

const median = (xs) => [...xs].sort((a, b) => a - b)[xs.length >> 1];
const files = option('--modules', '').split(',').filter(Boolean);
const modules = files.length === 2 ? files : ['vorcollide.wasm', 'vorcollide-plain.wasm'].map((f) => path.join(buildDir, f));
const builds = [];
for (const file of modules) {
  builds.push({ file, vor: await loadVorcollide(readFileSync(file)) });
}
const [first, second] = files.length === 2 ? ['first', 'second'] : ['SIMD128', 'plain'];
console.log(`${first}: ${modules[0]}; ${second}: ${modules[1]}`);
console.log(`median of ${rounds} rounds, the builds alternated; ${kRays} rays, ${kCharacters} characters x ${kSteps} steps`);
for (const cells of cellSizes) {
  const corners = levelCorners(cells), list = rays(cells);
  const times = builds.map(() => ({ ray: [], step: [] }));
  const answers = builds.map(() => []);
  for (let r = 0; r < rounds; ++r) {
    builds.forEach(({ vor }, b) => {
      const walkers = buildScene(vor, corners, cells);
      let t = process.hrtime.bigint();
      castAll(vor, list, r === 0 ? answers[b] : null);
      times[b].ray.push(Number(process.hrtime.bigint() - t) / list.length);
      t = process.hrtime.bigint();
      stepAll(vor, walkers, cells, random(17 + r));
      times[b].step.push(Number(process.hrtime.bigint() - t) / (kSteps * kCharacters));
    });
  }
  const same = answers[0].length === answers[1].length && answers[0].every((v, k) => v === answers[1][k]);
  const [simd, plain] = times.map((t) => ({ ray: median(t.ray), step: median(t.step) }));
  console.log(`${cells}x${cells} cells, ${corners.length / 9} triangles: per ray ${first} ${simd.ray.toFixed(0)} ns, ` +
    `${second} ${plain.ray.toFixed(0)} ns (${(simd.ray / plain.ray).toFixed(2)}x); per character step ${first} ` +
    `${simd.step.toFixed(0)} ns, ${second} ${plain.step.toFixed(0)} ns (${(simd.step / plain.step).toFixed(2)}x); ` +
    `ray answers ${same ? 'identical' : 'DIFFER'}`);
}
