// vorcollide's WebAssembly module beside Rapier, Jolt and three-mesh-bvh in Node, on the native
// peer comparison's levels, rays and crowds (files from level_files.cpp): time per mesh ray, per
// character step and per crowd ray, side by side (each round runs every library once, starting
// with a different one; the figure is the median round), with the answers compared.
//   node bench.mjs [--module PATH]... [--levels DIR] [--rounds N] [--frames N] [--only LIST]
//                  [--libs LIST] [--json FILE]
// --module may be given several times (say, the SIMD128 and the plain build): each is timed as a
// library of its own, and the first is the one the others' answers are compared with. LIST for
// --only: small, large, terrain, scene, crowd; for --libs: rapier, jolt, bvh.
import { writeFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { Steering, readScene } from './scenes.mjs';
import { makeVorcollide } from './peers/vorcollide.mjs';
import { makeRapier } from './peers/rapier.mjs';
import { makeJolt } from './peers/jolt.mjs';
import { makeThreeMeshBvh } from './peers/three_mesh_bvh.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const AGREE_DISTANCE = 1e-3; // answers nearer than 1 mm are the same hit, as in bench/peers
const WARM_UP_FRAMES = 5;

function parseArguments(argv) {
  const options = { modules: [], levels: path.join(root, 'build/web-bench/levels'), rounds: 7, frames: 30,
    only: null, libs: ['rapier', 'jolt', 'bvh'], json: null };
  for (let k = 0; k < argv.length; ++k) {
    const [arg, value] = [argv[k], argv[k + 1]];
    if (value === undefined) throw new Error(`${arg} needs a value`);
    if (arg === '--module') options.modules.push(path.resolve(value));
    else if (arg === '--levels') options.levels = path.resolve(value);
    else if (arg === '--rounds') options.rounds = Math.max(1, Number(value));
    else if (arg === '--frames') options.frames = Math.max(1, Number(value));
    else if (arg === '--only') options.only = value.split(',');
    else if (arg === '--libs') options.libs = value.split(',');
    else if (arg === '--json') options.json = path.resolve(value);
    else throw new Error(`unknown argument ${arg}`);
    ++k;
  }
  if (options.modules.length === 0) options.modules.push(path.join(root, 'build/web/vorcollide.wasm'));
  return options;
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// Runs work(library) for every library once a round, each round starting with the next library;
// answers each library's median time in milliseconds.
function sideBySide(libraries, rounds, work) {
  const times = libraries.map(() => []);
  for (let r = 0; r < rounds; ++r) {
    for (let k = 0; k < libraries.length; ++k) {
      const p = (k + r) % libraries.length;
      const start = performance.now();
      work(libraries[p]);
      times[p].push(performance.now() - start);
    }
  }
  return times.map(median);
}

function castAll(libraries, method, count, rounds) {
  const answers = libraries.map(() => new Float64Array(count));
  const ms = sideBySide(libraries, rounds, (lib) => {
    const out = answers[libraries.indexOf(lib)], cast = lib.impl[method];
    for (let i = 0; i < count; ++i) out[i] = cast(i);
  });
  return { usPerRay: ms.map((t) => (t * 1000) / count), answers };
}

// Rays where b's answer differs from a's: a hit against a miss (either way), or hits more than
// 1 mm apart; and those whose answers are not the same float (two builds of vorcollide must have
// none).
function compare(a, b) {
  let onlyFirst = 0, onlyOther = 0, distance = 0, hits = 0, notIdentical = 0;
  for (let i = 0; i < a.length; ++i) {
    if (a[i] >= 0) ++hits;
    if (a[i] !== b[i]) ++notIdentical;
    if (a[i] >= 0 && b[i] < 0) ++onlyFirst;
    else if (a[i] < 0 && b[i] >= 0) ++onlyOther;
    else if (a[i] >= 0 && Math.abs(a[i] - b[i]) > AGREE_DISTANCE) ++distance;
  }
  return { onlyFirst, onlyOther, distance, hits, notIdentical, text: `${onlyFirst}/${onlyOther}+${distance} of ${hits}` };
}

const rows = [];
function report(row) {
  rows.push(row);
  const first = row.results[0];
  const peers = row.results.filter((r) => !r.vorcollide);
  const fastestPeer = peers.length ? Math.min(...peers.map((r) => r.us)) : NaN;
  const cells = row.results.map((r) => `${r.name} ${r.us.toFixed(3)}us${r.differ ? ` (${r.differ})` : ''}`);
  console.log(`${row.scene.padEnd(10)} ${row.kind.padEnd(15)} ${cells.join('  ')}` +
    (peers.length ? `  | ${first.name}/fastest peer ${(first.us / fastestPeer).toFixed(2)}x` : ''));
  if (row.note) console.log(`${''.padEnd(27)}${row.note}`);
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  // Every scene gets fresh instances of every library, made before its clock starts: a library
  // whose module has a fixed heap (Jolt's build has 128 MB) starts each level with all of it.
  const makers = options.modules.map((file) => ({ name: `vorcollide[${path.basename(file)}]`, vorcollide: true,
    make: () => makeVorcollide(file) }));
  const peers = { rapier: ['Rapier', makeRapier], jolt: ['Jolt', makeJolt], bvh: ['three-mesh-bvh', makeThreeMeshBvh] };
  for (const key of options.libs) makers.push({ name: peers[key][0], vorcollide: false, make: peers[key][1] });
  const instantiate = async () => {
    const list = [];
    for (const m of makers) list.push({ name: m.name, vorcollide: m.vorcollide, impl: await m.make() });
    return list;
  };
  // Builds the scene in every library; one that fails (out of memory, say) is left out of it.
  const buildAll = (list, method, scene) => {
    const built = [];
    for (const lib of list) {
      const start = performance.now();
      try {
        lib.impl[method](scene);
        built.push({ ...lib, buildMs: performance.now() - start });
      } catch (e) {
        console.log(`  ${lib.name} cannot build this scene: ${String(e.message ?? e).split('\n')[0]}`);
      }
    }
    return built;
  };
  const wanted = (name) => !options.only || options.only.includes(name);
  console.log(`median of ${options.rounds} rounds, libraries alternated; ${makers.map((l) => l.name).join(', ')}`);
  console.log('answers that differ from the first module\'s: hit only by it / hit only by the other + hits more than 1 mm apart, of its hits');

  for (const name of ['small', 'large', 'terrain', 'scene']) {
    if (!wanted(name)) continue;
    const scene = readScene(path.join(options.levels, `${name}.bin`));
    console.log(`${name}: ${scene.triangles} triangles, ${scene.rays.count} rays, ${scene.bodyCount} characters`);
    const libraries = buildAll(await instantiate(), 'buildLevel', scene);
    console.log(`  build ${libraries.map((l) => `${l.name} ${l.buildMs.toFixed(0)} ms`).join(', ')}`);
    const rays = castAll(libraries, 'castLevel', scene.rays.count, options.rounds);
    report({ scene: name, kind: 'mesh ray', triangles: scene.triangles, results: libraries.map((lib, k) => {
      const d = k === 0 ? null : compare(rays.answers[0], rays.answers[k]);
      return { name: lib.name, vorcollide: lib.vorcollide, us: rays.usPerRay[k], buildMs: lib.buildMs,
        differ: d?.text, disagreement: d };
    }) });

    const walking = buildAll(libraries, 'addCharacters', scene);
    const steering = walking.map(() => new Steering(scene));
    const frame = (lib) => {
      const s = steering[walking.indexOf(lib)];
      s.nextFrame();
      lib.impl.stepCharacters(s);
    };
    for (let f = 0; f < WARM_UP_FRAMES; ++f) for (const lib of walking) frame(lib);
    const ms = sideBySide(walking, options.rounds, (lib) => {
      for (let f = 0; f < options.frames; ++f) frame(lib);
    });
    const ground = walking[0].impl;
    const where = walking.map((lib) => lib.impl.characterPositions());
    const results = walking.map((lib, k) => {
      const p = where[k];
      let fell = 0, heightSum = 0, standing = 0;
      const apart = [];
      for (let c = 0; c < scene.bodyCount; ++c) {
        const below = ground.groundBelow(p[c * 3], p[c * 3 + 1], p[c * 3 + 2]);
        if (below < 0) ++fell;
        else if (below < 1) { heightSum += below; ++standing; }
        apart.push(Math.hypot(p[c * 3] - where[0][c * 3], p[c * 3 + 2] - where[0][c * 3 + 2]));
      }
      return { name: lib.name, vorcollide: lib.vorcollide, us: (ms[k] * 1000) / (options.frames * scene.bodyCount),
        fellThrough: fell, meanHeight: standing ? heightSum / standing : NaN, medianApart: median(apart),
        samePositions: p.every((v, i) => v === where[0][i]),
        differ: `${fell} fell, h ${(standing ? heightSum / standing : NaN).toFixed(3)}, apart ${median(apart).toFixed(2)}` };
    });
    report({ scene: name, kind: 'character step', triangles: scene.triangles, results,
      note: '(characters with no ground under their centre; mean height of the centre above the ground; median distance from the first module\'s walkers)' });
    for (const lib of libraries) lib.impl.free();
  }

  if (wanted('crowd')) {
    for (const count of [10, 1000, 4000]) {
      const scene = readScene(path.join(options.levels, `crowd${count}.bin`));
      const all = (await instantiate()).filter((lib) => lib.impl.buildCrowd);
      const crowdLibraries = buildAll(all, 'buildCrowd', scene);
      const rays = castAll(crowdLibraries, 'castCrowd', scene.rays.count, options.rounds);
      report({ scene: `crowd ${count}`, kind: 'ray by type', results: crowdLibraries.map((lib, k) => {
        const d = k === 0 ? null : compare(rays.answers[0], rays.answers[k]);
        return { name: lib.name, vorcollide: lib.vorcollide, us: rays.usPerRay[k],
          differ: d?.text, disagreement: d };
      }), note: '(capsules are not ellipsoids: hits and distances differ by design)' });
      for (const lib of crowdLibraries) lib.impl.free();
    }
  }
  if (options.json) writeFileSync(options.json, JSON.stringify({ options, rows }, null, 1));
}

await main();
