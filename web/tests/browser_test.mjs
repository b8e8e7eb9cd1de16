// The playground in a real browser: Debian's chromium, driven by puppeteer-core, loads the page
// from the loopback server and runs the scripted 600-frame walk through the page's own code. The
// walk's trace is replayed by vorcollide-scene against the Linux module, whose results must hash
// to the page's hash. Bad files must give clear messages and break nothing; a screenshot must
// show the level. Any JavaScript error or failed request fails the test.
// usage: node browser_test.mjs URL SCENE_TOOL LINUX_MODULE OUT_DIR SCENE_TRACE
import { spawnSync } from 'node:child_process';
import { writeFileSync, readFileSync } from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import puppeteer from 'puppeteer-core';

const [url, sceneTool, linuxModule, outDir, sceneTrace] = process.argv.slice(2);
let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  if (ok) { ++passed; console.log(`PASS ${name}`); }
  else { ++failed; console.log(`FAIL ${name}${detail ? `\n    ${detail}` : ''}`); }
}

// The FNV-1a hash of the results vorcollide-scene's replay prints ("LINE: CALL ARGS = VALUE",
// a float as "1.5 [0x3fc00000]"), in order: the same fold the page applies to its own results.
function replayHash(output) {
  let hash = 14695981039346656037n, count = 0;
  for (const line of output.split('\n')) {
    const m = /^\d+: [A-Za-z0-9]+(?: [^=]*)? = (?:.* \[0x([0-9a-f]{8})\]|(-?\d+))$/.exec(line);
    if (!m) continue;
    let u = m[1] ? parseInt(m[1], 16) : Number(m[2]) >>> 0;
    for (let i = 0; i < 4; ++i) {
      hash ^= BigInt(u & 0xff);
      hash = (hash * 1099511628211n) & ((1n << 64n) - 1n);
      u >>>= 8;
    }
    ++count;
  }
  return { hash: `0x${hash.toString(16).padStart(16, '0')}`, count };
}

// Pixels of a PNG screenshot (8-bit RGB or RGBA, not interlaced), decoded with zlib alone.
function decodePng(buf) {
  let pos = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (pos < buf.length) {
    const len = buf.readUInt32BE(pos), type = buf.toString('latin1', pos + 4, pos + 8);
    const data = buf.subarray(pos + 8, pos + 8 + len);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0); height = data.readUInt32BE(4);
      if (data[8] !== 8 || data[12] !== 0) throw new Error('unexpected PNG format');
      channels = { 2: 3, 6: 4 }[data[9]];
    } else if (type === 'IDAT') idat.push(data);
    pos += 12 + len;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels, out = Buffer.alloc(height * stride);
  for (let y = 0; y < height; ++y) {
    const f = raw[y * (stride + 1)], row = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? out[y * stride + x - channels] : 0, b = y ? out[(y - 1) * stride + x] : 0;
      const c = x >= channels && y ? out[(y - 1) * stride + x - channels] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const pred = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][f];
      out[y * stride + x] = (row[x] + pred) & 0xff;
    }
  }
  return { width, height, channels, pixels: out };
}

const problems = [];
const browser = await puppeteer.launch({
  executablePath: process.env.VOR_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--window-size=1280,800',
    '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  page.on('pageerror', (e) => problems.push(`JavaScript error: ${e.message}`));
  page.on('console', (m) => { if (m.type() === 'error') problems.push(`console error: ${m.text()}`); });
  page.on('requestfailed', (r) => problems.push(`request failed: ${r.url()} (${r.failure()?.errorText})`));
  page.on('response', (r) => { if (r.status() >= 400) problems.push(`request failed: ${r.url()} (HTTP ${r.status()})`); });
  page.setDefaultTimeout(60000);

  await page.goto(url, { waitUntil: 'load' });
  await page.waitForSelector('body[data-ready="1"]');
  check('the page loads the module, the level data and three.js', await page.evaluate(() => !!window.playground?.ready));

  // The scripted walk, through the page's own frame function.
  const walk = await page.evaluate(() => playground.runScriptedWalk().then((r) => ({ ...r })));
  check('the scripted walk runs 600 frames', walk.frames === 600, `frames ${walk.frames}`);
  const tracePath = path.join(outDir, 'playground-walk.trace');
  writeFileSync(tracePath, walk.trace);
  const replay = spawnSync(sceneTool, ['replay', '--module', linuxModule, tracePath], { encoding: 'utf8', maxBuffer: 1 << 28 });
  const linux = replayHash(replay.stdout);
  check('vorcollide-scene replays the walk on the Linux module with no result differing',
    replay.status === 0 && /, 0 differ$/m.test(replay.stdout), `status ${replay.status}: ${(replay.stdout.split('\n').filter((l) => /DIFFERS|replayed/.test(l)).slice(0, 4).join(' | ') || replay.stderr).slice(0, 600)}`);
  check(`the walk hashes to the Linux module's hash (${linux.hash}, ${linux.count} results)`,
    walk.hash === linux.hash && walk.results === linux.count && linux.count > 6000, `page ${walk.hash} over ${walk.results} results`);
  const contactsSeen = (walk.trace.match(/^CountCollisionsVOR 101 {2}# -> [1-9]/gm) || []).length;
  check('the walk touches the level (frames with contacts)', contactsSeen > 100, `${contactsSeen} frames with contacts`);

  // A click casts a ray from the camera and shows the hit.
  await page.evaluate(() => playground.overview());
  const view = await page.$('#view canvas');
  const box = await view.boundingBox();
  await page.mouse.click(box.x + box.width / 2, box.y + box.height * 0.6);
  const rayText = await page.$eval('#ray', (e) => e.textContent);
  check('a click on the level casts a ray and names the hit', /^hit object \d+ \(type \d+, (mesh|ellipsoid)\)/.test(rayText), rayText);

  // The screenshot shows the level: most of the view is not the background, in several colours.
  const shotPath = path.join(outDir, 'playground.png');
  await page.screenshot({ path: shotPath });
  const png = decodePng(readFileSync(shotPath));
  let level = 0, total = 0;
  const buckets = new Map();
  for (let y = Math.floor(box.y); y < Math.min(png.height, box.y + box.height); y += 2) {
    for (let x = Math.floor(box.x); x < Math.min(png.width, box.x + box.width); x += 2) {
      const i = (y * png.width + x) * png.channels;
      const [r, g, b] = [png.pixels[i], png.pixels[i + 1], png.pixels[i + 2]];
      ++total;
      if (Math.abs(r - 0x2b) + Math.abs(g - 0x30) + Math.abs(b - 0x38) > 24) ++level;
      const key = (r >> 5) * 64 + (g >> 5) * 8 + (b >> 5);
      buckets.set(key, (buckets.get(key) || 0) + 1);
    }
  }
  const colours = [...buckets.values()].filter((n) => n > total / 500).length;
  check('the screenshot shows the level, not a blank canvas', total > 0 && level / total > 0.25 && colours >= 6,
    `${((100 * level) / Math.max(total, 1)).toFixed(1)}% of the view differs from the background, ${colours} colours`);

  // Bad files: a clear message, and the walk goes on on the level it had.
  const drop = (name, text, size) => page.evaluate(async (name, text, size) => {
    const body = size ? new Uint8Array(size) : text;
    const r = await playground.openFiles([new File([body], name)]);
    const before = playground.sim.frame;
    playground.sim.step({ dx: 0.02, dz: 0 });
    return { ...r, message: playground.message(), level: playground.sim.level.source, stepped: playground.sim.frame === before + 1 };
  }, name, text, size);
  const notGlb = await drop('broken.glb', 'this is not a binary glTF file');
  check('a .glb that is not one: a clear message, the level stays',
    !notGlb.ok && notGlb.message.kind === 'error' && notGlb.message.text.startsWith('broken.glb: not a readable GLB level') && notGlb.level === 'built-in' && notGlb.stepped,
    JSON.stringify(notGlb));
  const notObj = await drop('notes.obj', 'a shopping list\nmilk\n');
  check('an .obj without triangles: a clear message, the level stays',
    !notObj.ok && notObj.message.text === 'notes.obj: no triangles found, so not a level' && notObj.level === 'built-in' && notObj.stepped, JSON.stringify(notObj));
  const huge = await drop('huge.glb', '', 129 * 1024 * 1024);
  check('a level file too large: a clear message, the level stays',
    !huge.ok && /^huge\.glb: 129\.0 MB, too large a level for the playground/.test(huge.message.text) && huge.level === 'built-in', JSON.stringify(huge));
  const many = await page.evaluate(async () => {
    const saved = playground.limits.maxTriangles;
    playground.limits.maxTriangles = 100;
    let obj = '';
    for (let i = 0; i < 101; ++i) obj += `v ${i} 0 0\nv ${i} 0 1\nv ${i + 1} 0 0\nf ${3 * i + 1} ${3 * i + 2} ${3 * i + 3}\n`;
    const r = await playground.openFiles([new File([obj], 'many.obj')]);
    playground.limits.maxTriangles = saved;
    return { ...r, level: playground.sim.level.source };
  });
  check('a level with more triangles than the limit: a clear message, the level stays',
    !many.ok && many.message === 'many.obj: more than 100 triangles: too large a level for the playground' && many.level === 'built-in', JSON.stringify(many));

  const badTrace = 'NewCollObjVOR 1 2\nSetObjPosVOR 1 abc 3\nRunCollisionVOR\n';
  const badTracePath = path.join(outDir, 'bad.trace');
  writeFileSync(badTracePath, badTrace);
  const cli = spawnSync(sceneTool, ['replay', '--module', linuxModule, badTracePath], { encoding: 'utf8' });
  const cliWhy = cli.stderr.trim().replace(`vorcollide-scene: ${badTracePath}:`, '');
  const bad = await drop('bad.trace', badTrace);
  check('a trace with a bad line: file and line named, the same reason as vorcollide-scene gives',
    !bad.ok && bad.message.text === `bad.trace:${cliWhy}` && cli.status === 1 && bad.level === 'built-in' && bad.stepped,
    `page "${bad.message.text}", tool "${cli.stderr.trim()}"`);

  // Good levels from the three.js loaders: an OBJ floor and a GLB box exported by three.js.
  const objLevel = await drop('floor.obj', 'v -5 0 -5\nv 5 0 -5\nv 5 0 5\nv -5 0 5\nf 1 4 3 2\n');
  check('an OBJ level is loaded and walked on', objLevel.ok && objLevel.triangles === 2 && objLevel.level === 'floor.obj' && objLevel.stepped, JSON.stringify(objLevel));
  const glb = await page.evaluate(async () => {
    const THREE = await import('three');
    const { GLTFExporter } = await import('three/addons/exporters/GLTFExporter.js');
    const scene = new THREE.Scene();
    const floor = new THREE.Mesh(new THREE.BoxGeometry(12, 0.5, 12), new THREE.MeshStandardMaterial());
    floor.position.y = -0.25;
    scene.add(floor);
    const data = await new GLTFExporter().parseAsync(scene, { binary: true });
    const r = await playground.openFiles([new File([data], 'box.glb')]);
    for (let i = 0; i < 90; ++i) playground.sim.step({ dx: 0.02, dz: 0 });
    return { ...r, level: playground.sim.level.source, feet: playground.sim.feet(), grounded: playground.sim.grounded };
  });
  check('a GLB level is loaded, and the character lands on it', glb.ok && glb.triangles === 12 && glb.level === 'box.glb' && glb.grounded && Math.abs(glb.feet[1]) < 0.05, JSON.stringify(glb));

  // The controls a person uses: the panel's switches, the keyboard walk and the mouse orbit.
  await page.select('#response', '1');
  await page.select('#concave', '5');
  const switched = await page.evaluate(() => ({ ...playground.sim.settings, feet: playground.sim.feet() }));
  check('the panel switches response (rebuilding around the character) and concave mode live',
    switched.response === 1 && switched.concave === 5 && Math.abs(switched.feet[1]) < 0.05, JSON.stringify(switched));
  await page.select('#response', '3');
  const walkStart = await page.evaluate(() => { playground.setPaused(false); return playground.sim.feet(); });
  await page.mouse.click(box.x + 20, box.y + box.height - 20);
  await page.keyboard.down('KeyW');
  await new Promise((r) => setTimeout(r, 800));
  await page.keyboard.up('KeyW');
  const walked = await page.evaluate(() => playground.sim.feet());
  const moved = Math.hypot(walked[0] - walkStart[0], walked[2] - walkStart[2]);
  check('holding W walks the character', moved > 0.2 && Math.abs(walked[1]) < 0.05, `moved ${moved.toFixed(3)} to ${walked.map((v) => v.toFixed(3))}`);
  const cameraBefore = await page.evaluate(() => playground.cameraPosition());
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width / 2 + 150, box.y + box.height / 2, { steps: 10 });
  await page.mouse.up();
  const cameraAfter = await page.evaluate(() => playground.cameraPosition());
  check('dragging the mouse orbits the camera', Math.hypot(...cameraAfter.map((v, i) => v - cameraBefore[i])) > 1, `${cameraBefore} -> ${cameraAfter}`);

  // A trace recorded by vorcollide-scene --record, stepped with the slider.
  const sceneText = readFileSync(sceneTrace, 'utf8');
  const opened = await page.evaluate(async (text) => playground.openFiles([new File([text], 'scene.trace')]), sceneText);
  const frames = await page.evaluate(() => [60, 61, 10, 119].map((f) => playground.seekTrace(f)));
  check('a recorded trace opens with one frame per pass', opened.ok && opened.frames === 120, JSON.stringify(opened));
  check('stepping the trace forward and back reproduces every recorded result',
    frames.every((f) => f.differ === 0 && f.compared > 0) && frames[2].frame === 10 && frames[3].frame === 119 && frames.some((f) => f.contacts > 0),
    JSON.stringify(frames));
  await page.evaluate(() => document.getElementById('traceSlider').value = '90');
  await page.$eval('#traceSlider', (e) => e.dispatchEvent(new Event('input')));
  const info = await page.$eval('#traceInfo', (e) => e.textContent);
  check('the slider steps the trace', /^frame 90 of 120; \d+ recorded results compared, 0 differ$/.test(info), info);
  await page.screenshot({ path: path.join(outDir, 'playground-trace.png') });
} catch (e) {
  problems.push(`test stopped: ${e.stack || e}`);
} finally {
  await browser.close();
}
check('no JavaScript error and no failed request', problems.length === 0, problems.slice(0, 8).join('\n    '));
console.log(`playground-browser: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
