// The WebAssembly module under Node, loaded through vorcollide.mjs exactly as the playground
// loads it: its exports, error reports reaching JavaScript, float decoding, host vertex blocks,
// and the determinism scene and cross-platform probe (run by probe_host.wasm against this very
// instance) compared with the Linux module's hash and bits.
// usage: node wasm_node_test.mjs BUILD_DIR LINUX_PROBE_FILE LINUX_SCENE_HASH RECORDED_SCENE_HASH
//        [MODULE_FILE]  (vorcollide.wasm, the SIMD128 build, unless vorcollide-plain.wasm is named)
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { EXPORTS, loadVorcollide, runHostProgram, floatFromBits, bitsFromFloat, makeVertexBlock, moduleFileName, simdSupported } from '../vorcollide.mjs';

const [buildDir, linuxProbeFile, linuxHash, recordedHash, moduleFile = 'vorcollide.wasm'] = process.argv.slice(2);
let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  if (ok) { ++passed; console.log(`PASS ${name}`); }
  else { ++failed; console.log(`FAIL ${name}${detail ? `\n    ${detail}` : ''}`); }
}

const wasmFile = path.join(buildDir, moduleFile);
console.log(`module: ${moduleFile}`);
check('the loader\'s feature test finds SIMD128 in this Node and names the file of each build',
  simdSupported() === true && moduleFileName() === 'vorcollide.wasm' &&
  moduleFileName(true) === 'vorcollide.wasm' && moduleFileName(false) === 'vorcollide-plain.wasm');
const expected = readFileSync(path.join(buildDir, 'export-names.txt'), 'utf8').split('\n').map((s) => s.trim()).filter(Boolean);
const module = new WebAssembly.Module(readFileSync(wasmFile));

{
  const names = WebAssembly.Module.exports(module).map((e) => e.name).sort();
  const extras = ['_initialize', 'free', 'malloc', 'memory', 'vorWasmErrorBridge'];
  const want = [...expected, ...extras].sort();
  check('the module exports every function of include/vorcollide.h, plus only memory, allocator and error bridge',
    JSON.stringify(names) === JSON.stringify(want),
    `missing: ${want.filter((n) => !names.includes(n))}; extra: ${names.filter((n) => !want.includes(n))}`);
  const imports = WebAssembly.Module.imports(module).map((i) => `${i.module}.${i.name}`).sort();
  const allowed = ['vorcollide_js.error_report', 'wasi_snapshot_preview1.fd_close', 'wasi_snapshot_preview1.fd_seek', 'wasi_snapshot_preview1.fd_write'];
  check('the module imports only standard output calls and the error bridge',
    imports.every((i) => allowed.includes(i)) && imports.includes('vorcollide_js.error_report'), imports.join(' '));
  const sceneTable = JSON.parse(readFileSync(path.join(buildDir, 'scene-data.json'), 'utf8')).exports;
  check("vorcollide.mjs's export table equals vorcollide-scene's (names, argument and result kinds)",
    JSON.stringify(sceneTable) === JSON.stringify(EXPORTS), `scene tool: ${sceneTable.length} exports, vorcollide.mjs: ${EXPORTS.length}`);
  check('the export table covers every function of include/vorcollide.h',
    JSON.stringify(EXPORTS.map((e) => e.name).sort()) === JSON.stringify([...expected].sort()));
}

const stderrLines = [];
const vor = await loadVorcollide(readFileSync(wasmFile), { stderr: (l) => stderrLines.push(l) });

{
  // Error reports: once per arming, the exact text, the caption and the user value, and the
  // handler may call back into the library.
  const reports = [];
  const user = { tag: 'host' };
  vor.SetErrorHandlerVOR((text, caption, u) => reports.push([text, caption, u, vor.PeekCollisionStackVOR()]), user);
  vor.StartCollisionDebugVOR();
  vor.SetConcaveModeVOR(0);
  vor.NewCollObjVOR(5001, 1);
  check('an armed error reaches the JavaScript handler once, with text, caption and user',
    reports.length === 1 && reports[0][0] === 'Invalid System Concave Setting: 0' &&
    reports[0][1] === 'Collision Error' && reports[0][2] === user && reports[0][3] === 0,
    JSON.stringify(reports));
  vor.StartCollisionDebugVOR();
  vor.NewCollObjVOR(-1, 1);
  check('a negative object number is reported as its unsigned value',
    reports.length === 2 && reports[1][0] === 'Object number out of range for collision system: 4294967295', JSON.stringify(reports[1]));
  vor.SetErrorHandlerVOR(null);
  vor.StartCollisionDebugVOR();
  vor.SetConcaveModeVOR(9);
  vor.flushOutput();
  check('a null handler restores the default: one line on standard error',
    reports.length === 2 && stderrLines.length === 1 && stderrLines[0] === 'Collision Error: Invalid System Concave Setting: 9',
    JSON.stringify(stderrLines));
  vor.SetConcaveModeVOR(3);
}

{
  // A mesh from a host vertex block, hit by a ray; float results decoded exactly.
  vor.StopCollisionVOR();
  vor.NewCollObjVOR(1, 2);
  vor.AddObjShapeVOR(1, 2);
  vor.AddMeshVOR(1, makeVertexBlock([-10, 0.3, -10, 0, 0.3, 10, 10, 0.3, -10]));
  vor.SetObjPosVOR(0, 0, 0);
  vor.SetObjRotVOR(0, 0, 0);
  vor.UpdateObjVOR(1, 1);
  vor.ActivateObjVOR(1);
  const hit = vor.RayIntersectObjectVOR(1, 2, 0.5, 5, 0.25, 0.5, -5, 0.25);
  const y = vor.RayHitPosY(), yBits = vor.bits.RayHitPosY();
  check('a mesh from a host vertex block is hit by a ray where it lies',
    // the ray's arithmetic rounds in float: a few units in the last place of 0.3
    hit === 1 && Math.abs(y - 0.3) < 1e-6 && vor.RayHitObjVOR() === 1 && vor.RayHitNormY() === 1, `hit ${hit}, y ${y}`);
  check('float results decode to the float of their bits', bitsFromFloat(y) === yBits && floatFromBits(yBits) === y &&
    vor.RayHitDist() === floatFromBits(vor.bits.RayHitDist()));
  // Every float export, whatever its count of arguments, answers the float of its bits.
  const floatExports = EXPORTS.filter((e) => e.result === 'f');
  const undecoded = floatExports.filter(({ name, args }) => {
    const values = [...args].map((kind, k) => (kind === 'f' ? 0.25 * (k + 1) : 1));
    return !Object.is(vor[name](...values), floatFromBits(vor.bits[name](...values)));
  });
  check(`all ${floatExports.length} float exports decode their bits, with every count of arguments`,
    floatExports.length > 10 && undecoded.length === 0, undecoded.map((e) => e.name).join(' '));
  check('Vec2Yaw decodes to degrees', vor.Vec2Yaw(0, 0, 1) === 0 && vor.Vec2Yaw(-1, 0, 0) === 90, `${vor.Vec2Yaw(0, 0, 1)} ${vor.Vec2Yaw(-1, 0, 0)}`);
  vor.StopCollisionVOR();
}

{
  const run = await runHostProgram(vor, readFileSync(path.join(buildDir, 'probe_host.wasm')));
  check('probe_host.wasm runs to its end against the module', run.code === 0 && run.stdout.length > 2,
    `exit ${run.code}, ${run.stdout.length} lines, stderr ${run.stderr.join(' | ')}`);
  const scene = run.stdout.find((l) => l.startsWith('scene '))?.split(' ')[1];
  const again = run.stdout.find((l) => l.startsWith('scene-again '))?.split(' ')[1];
  const norm = (h) => (h ? BigInt(h).toString(16).padStart(16, '0') : 'none');
  check(`the determinism scene gives the Linux module's hash (${norm(linuxHash)})`, norm(scene) === norm(linuxHash), `wasm ${norm(scene)}`);
  check('the Linux hash is the one tests/determinism_test.cpp records', norm(linuxHash) === norm(recordedHash), `recorded ${norm(recordedHash)}`);
  check('the scene run twice with a Stop between gives the same hash', norm(scene) === norm(again), `again ${norm(again)}`);
  const probe = run.stdout.filter((l) => !l.startsWith('scene'));
  const linux = readFileSync(linuxProbeFile, 'utf8').split('\n').filter(Boolean);
  const differing = linux.filter((l, i) => probe[i] !== l).length + Math.max(0, probe.length - linux.length);
  const firstDiff = linux.findIndex((l, i) => probe[i] !== l);
  check(`the probe's ${linux.length} lines carry the Linux module's bits`, linux.length > 0 && differing === 0,
    `${differing} lines differ; first: linux "${linux[firstDiff]}" wasm "${probe[firstDiff]}"`);
}

console.log(`wasm-node: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
