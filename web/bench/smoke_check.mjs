// Checks a short run of the web benchmark (bench.mjs --json) for what must hold whatever the
// timings: every library answered every row with a time; Jolt and three-mesh-bvh, which hit front
// faces only as vorcollide does, agree with vorcollide on every ray of the small level (same hits,
// within 1 mm); no library's character fell through the level; and every further build of
// vorcollide gave the first build's answers and characters to the bit.
//   node smoke_check.mjs BENCH_JSON
import { readFileSync } from 'node:fs';

const { rows } = JSON.parse(readFileSync(process.argv[2], 'utf8'));
let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  if (ok) { ++passed; console.log(`PASS ${name}`); }
  else { ++failed; console.log(`FAIL ${name}${detail ? `\n    ${detail}` : ''}`); }
}

const find = (scene, kind) => rows.find((r) => r.scene === scene && r.kind === kind);
const modules = (row) => row.results.filter((r) => r.vorcollide);
check('the run has the small level\'s rays and steps and the three crowds',
  find('small', 'mesh ray') && find('small', 'character step') && ['crowd 10', 'crowd 1000', 'crowd 4000'].every((s) => find(s, 'ray by type')),
  rows.map((r) => `${r.scene}/${r.kind}`).join(', '));
check('every library has a time on every row', rows.every((row) => row.results.length >= 2 &&
  row.results.every((r) => Number.isFinite(r.us) && r.us > 0)),
  rows.map((r) => `${r.scene}/${r.kind}: ${r.results.map((x) => `${x.name} ${x.us}`).join(' ')}`).join('; '));

const rays = find('small', 'mesh ray');
for (const peer of ['Jolt', 'three-mesh-bvh']) {
  const d = rays?.results.find((r) => r.name === peer)?.disagreement;
  check(`${peer} agrees with vorcollide on all 10,000 rays of the small level`,
    d && d.hits > 7000 && d.onlyFirst === 0 && d.onlyOther === 0 && d.distance === 0, JSON.stringify(d));
}
const steps = find('small', 'character step');
check('no library\'s character fell through the small level, and each stands about 0.45 above it',
  steps?.results.every((r) => r.fellThrough === 0 && Math.abs(r.meanHeight - 0.45) < 0.03),
  steps?.results.map((r) => `${r.name}: ${r.fellThrough} fell, height ${r.meanHeight}`).join('; '));

const builds = modules(rays ?? { results: [] });
check('more than one build of vorcollide was timed', builds.length >= 2, builds.map((b) => b.name).join(', '));
const identical = rows.every((row) => modules(row).slice(1).every((r) =>
  row.kind === 'character step' ? r.samePositions === true : r.disagreement?.notIdentical === 0));
check('every build of vorcollide gives the first build\'s ray answers and character positions to the bit', identical,
  rows.map((row) => `${row.scene}/${row.kind}: ${modules(row).slice(1).map((r) => JSON.stringify(r.disagreement ?? r.samePositions))}`).join('; '));
console.log(`webbench-smoke: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
