// Load time and size of each library: the time from a fresh Node process's first import to a
// library ready for use (the module compiled and instantiated), the median of several processes,
// and the bytes a page downloads for it, raw and gzipped.
//   node load_time.mjs [--module PATH]... [--runs N]
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { gzipSync } from 'node:zlib';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const modules = path.join(here, 'node_modules');

// What each library's page loads: the files, and how to get it ready.
const libraries = {
  rapier: { files: ['@dimforge/rapier3d-compat/dist/rapier.mjs'],
    load: async () => { const R = (await import('@dimforge/rapier3d-compat')).default; await R.init(); } },
  jolt: { files: ['jolt-physics/dist/jolt-physics.wasm-compat.js'],
    load: async () => { await (await import('jolt-physics')).default(); } },
  // three.js itself is on a three.js page already: imported before the clock starts.
  bvh: { files: ['three-mesh-bvh/build/index.module.js'], before: () => import('three'),
    load: async () => { await import('three-mesh-bvh'); } },
};

async function child(name, modulePath) {
  await libraries[name]?.before?.();
  const start = performance.now();
  if (name === 'vorcollide') {
    const { loadVorcollide } = await import(pathToFileURL(path.join(root, 'web/vorcollide.mjs')));
    await loadVorcollide(readFileSync(modulePath));
  } else {
    await libraries[name].load();
  }
  console.log((performance.now() - start).toFixed(2));
}

function sizes(files) {
  const bytes = files.map((f) => readFileSync(f));
  return { raw: bytes.reduce((s, b) => s + b.length, 0), gzip: bytes.reduce((s, b) => s + gzipSync(b, { level: 9 }).length, 0) };
}

async function main() {
  const args = process.argv.slice(2);
  if (args[0] === 'child') return child(args[1], args[2]);
  const wasmModules = [];
  let runs = 7;
  for (let k = 0; k < args.length; k += 2) {
    if (args[k] === '--module') wasmModules.push(path.resolve(args[k + 1]));
    else if (args[k] === '--runs') runs = Number(args[k + 1]);
    else throw new Error(`unknown argument ${args[k]}`);
  }
  if (wasmModules.length === 0) wasmModules.push(path.join(root, 'build/web/vorcollide.wasm'));
  const entries = [
    ...wasmModules.map((m) => ({ name: `vorcollide[${path.basename(m)}]`, key: 'vorcollide', module: m, files: [m, path.join(root, 'web/vorcollide.mjs')] })),
    ...Object.entries(libraries).map(([key, lib]) => ({ name: key, key, files: lib.files.map((f) => path.join(modules, f)) })),
  ];
  const times = entries.map(() => []);
  for (let r = 0; r < runs; ++r) {
    entries.forEach((e, k) => {
      const out = execFileSync(process.execPath, [fileURLToPath(import.meta.url), 'child', e.key, e.module ?? ''], { cwd: here });
      times[k].push(Number(out.toString().trim()));
    });
  }
  for (const [k, e] of entries.entries()) {
    const t = times[k].sort((a, b) => a - b)[Math.floor(runs / 2)];
    const s = sizes(e.files);
    console.log(`${e.name.padEnd(36)} load ${t.toFixed(1).padStart(7)} ms (median of ${runs} processes)   ` +
      `${(s.raw / 1024).toFixed(0).padStart(6)} KB, ${(s.gzip / 1024).toFixed(0).padStart(5)} KB gzipped`);
  }
}

await main();
