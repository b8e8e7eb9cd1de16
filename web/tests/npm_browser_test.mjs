// The npm package in headless Chromium: a page of the scratch project imports 'vorcollide' through
// an import map pointing into its node_modules, as a site without a bundler would, runs the user
// scenario (npm_scenario.mjs) and must give the checks and the float bits the Node run gave.
// usage: node npm_browser_test.mjs SCRATCH_DIR NODE_RESULT_FILE   (run from web/, for puppeteer-core)
import http from 'node:http';
import { readFile, writeFile } from 'node:fs/promises';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

const [scratch, nodeResultFile] = process.argv.slice(2).map((p) => path.resolve(p));
let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  if (ok) { ++passed; console.log(`PASS ${name}`); }
  else { ++failed; console.log(`FAIL ${name}${detail ? `\n    ${detail}` : ''}`); }
}

await writeFile(path.join(scratch, 'index.html'), `<!doctype html>
<meta charset="utf-8"><title>vorcollide from npm</title>
<script type="importmap">{ "imports": { "vorcollide": "/node_modules/vorcollide/vorcollide.mjs" } }</script>
<script type="module">
import { loadVorcollide } from 'vorcollide';
import { runScenario } from './npm_scenario.mjs';
runScenario(loadVorcollide).then((r) => { window.result = r; }, (e) => { window.result = { error: String(e && e.stack || e) }; });
</script>`);

const types = { '.html': 'text/html', '.mjs': 'text/javascript', '.js': 'text/javascript', '.wasm': 'application/wasm', '.json': 'application/json' };
const server = http.createServer(async (req, res) => {
  const file = path.join(scratch, path.posix.normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname)));
  const body = file.startsWith(scratch + path.sep) ? await readFile(file).catch(() => null) : null;
  if (!body) return res.writeHead(404).end();
  res.writeHead(200, { 'content-type': types[path.extname(file)] ?? 'application/octet-stream' }).end(body);
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const url = `http://127.0.0.1:${server.address().port}/index.html`;

const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'] });
try {
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(url);
  await page.waitForFunction('window.result !== undefined', { timeout: 60000 });
  const result = await page.evaluate(() => window.result);
  check('the page loads the package through an import map and runs the scenario', !result.error && errors.length === 0,
    result.error ?? errors.join('; '));
  for (const c of result.checks ?? []) check(`Chromium: ${c.name}`, c.ok, c.detail);
  const nodeBits = JSON.parse(await readFile(nodeResultFile, 'utf8'));
  const differ = (result.bits ?? []).filter((b, i) => b !== nodeBits[i]).length;
  check(`Chromium gives Node's ${nodeBits.length} float bits, every one`, result.bits?.length === nodeBits.length && differ === 0,
    `${differ} differ of ${result.bits?.length}`);
} finally {
  await browser.close();
  server.close();
}
console.log(`npm-browser: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
