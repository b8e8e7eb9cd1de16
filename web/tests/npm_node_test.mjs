// The npm package as installed in a scratch project: what the tarball holds, its manifest, its
// declarations against the public header, and the user scenario (npm_scenario.mjs) run in Node.
// Copied into the scratch project and run there, so that 'vorcollide' resolves to the installed
// package. Writes the scenario's float bits to RESULT_FILE for the browser run to compare with.
// usage: node npm_node_test.mjs REPO_ROOT RESULT_FILE
import { readFileSync, readdirSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { EXPORTS, loadVorcollide } from 'vorcollide';
import { runScenario } from './npm_scenario.mjs';

const [root, resultFile] = process.argv.slice(2);
const installed = path.resolve('node_modules/vorcollide');
const { parseExports } = await import(path.join(root, 'web/tools/export_types.mjs'));
let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  if (ok) { ++passed; console.log(`PASS ${name}`); }
  else { ++failed; console.log(`FAIL ${name}${detail ? `\n    ${detail}` : ''}`); }
}

const files = readdirSync(installed).sort();
const want = ['LICENSE', 'README.md', 'package.json', 'vorcollide-exports.d.ts', 'vorcollide.d.ts', 'vorcollide.mjs'];
const modules = files.filter((f) => f.endsWith('.wasm'));
check('the package holds the loader, its declarations, the module, the README and the licence',
  want.every((f) => files.includes(f)) && modules.includes('vorcollide.wasm') &&
  files.length === want.length + modules.length, files.join(' '));

const manifest = JSON.parse(readFileSync(path.join(installed, 'package.json'), 'utf8'));
const header = readFileSync(path.join(root, 'include/vorcollide.h'), 'utf8');
const version = /#define VORCOLLIDE_VERSION_STRING "([^"]+)"/.exec(header)[1];
check(`the package's version is the header's (${version})`, manifest.version === version, manifest.version);
check('an ES module with no runtime dependencies', manifest.type === 'module' && !manifest.dependencies &&
  !manifest.peerDependencies && !manifest.optionalDependencies, JSON.stringify(manifest.dependencies ?? {}));

const declared = readFileSync(path.join(installed, 'vorcollide-exports.d.ts'), 'utf8');
const fromHeader = parseExports(header);
const decodedBlock = declared.slice(declared.indexOf('interface VorcollideExports'), declared.indexOf('interface VorcollideBits'));
const declaredNames = [...decodedBlock.matchAll(/^ {2}(\w+)\(/gm)].map((m) => m[1]);
check(`the declarations name every export of the header (${fromHeader.length}), in its order`,
  JSON.stringify(declaredNames) === JSON.stringify(fromHeader.map((e) => e.name)),
  `declared ${declaredNames.length}: ${declaredNames.filter((n) => !fromHeader.some((e) => e.name === n))}`);
const floatBits = fromHeader.filter((e) => e.floatBits).map((e) => e.name);
const loaderFloats = EXPORTS.filter((e) => e.result === 'f').map((e) => e.name);
check(`the header's "float bits" results (${floatBits.length}) are the ones the loader decodes`,
  JSON.stringify(floatBits) === JSON.stringify(loaderFloats), `header ${floatBits}\n    loader ${loaderFloats}`);

const { checks, bits } = await runScenario(loadVorcollide);
for (const c of checks) check(`Node: ${c.name}`, c.ok, c.detail);
check('Node: the scenario gave float bits to compare', bits.length > 300, `${bits.length}`);
writeFileSync(resultFile, JSON.stringify(bits));
console.log(`npm-node: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
