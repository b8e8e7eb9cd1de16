// The playground in a real browser: Debian's chromium, driven by puppeteer-core, loads the page
// from the loopback server and runs the scripted 600-frame walk through the page's own code. The
// walk's trace is replayed by vorcollide-scene against the Linux module, whose results must hash
// to the page's hash. Bad files must give clear messages and break nothing; a screenshot must
// show the level, and a 700-unit level must be as visible, sized as vorcollide-scene sizes it,
// with the character on screen after it falls off and is put back. The crowd scene and the
// rolling level must show what overlap recovery changes. Any JavaScript error or failed request
// fails the test.
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

// Share of the view's pixels (every second one) that differ from the background, and how many
// colours cover more than 1/500 of it.
function viewCoverage(png, box) {
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
  return { share: level / Math.max(total, 1), colours: [...buckets.values()].filter((n) => n > total / 500).length };
}

// Pixels of the character's colour (#ffcc33, lit) within radius pixels of (x, y) in the view.
function characterPixels(png, box, x, y, radius) {
  let n = 0;
  for (let dy = -radius; dy <= radius; ++dy) {
    for (let dx = -radius; dx <= radius; ++dx) {
      const px = Math.round(box.x + x + dx), py = Math.round(box.y + y + dy);
      if (px < 0 || py < 0 || px >= png.width || py >= png.height) continue;
      const i = (py * png.width + px) * png.channels;
      const [r, g, b] = [png.pixels[i], png.pixels[i + 1], png.pixels[i + 2]];
      if (r > 150 && g > 110 && b < 90 && r > b + 90) ++n;
    }
  }
  return n;
}

// A hilly ground 700 units across with four blocks on it, as an OBJ: a level far larger than the
// built-in one (whose character would be a speck on it and whose far plane once hid it).
function wideLevelObj() {
  const n = 24, size = 700, lines = [];
  const height = (i, k) => 25 * Math.sin(i / 3) * Math.cos(k / 4);
  for (let i = 0; i <= n; ++i) for (let k = 0; k <= n; ++k) lines.push(`v ${(i / n - 0.5) * size} ${height(i, k).toFixed(3)} ${(k / n - 0.5) * size}`);
  const at = (i, k) => i * (n + 1) + k + 1;
  for (let i = 0; i < n; ++i) for (let k = 0; k < n; ++k) lines.push(`f ${at(i, k)} ${at(i, k + 1)} ${at(i + 1, k + 1)} ${at(i + 1, k)}`);
  let base = (n + 1) * (n + 1);
  for (const [cx, cz] of [[-200, -200], [200, -150], [-150, 200], [180, 220]]) {
    const x0 = cx - 30, x1 = cx + 30, z0 = cz - 30, z1 = cz + 30, y0 = -30, y1 = 70;
    for (const [x, y, z] of [[x0, y0, z0], [x1, y0, z0], [x1, y0, z1], [x0, y0, z1], [x0, y1, z0], [x1, y1, z0], [x1, y1, z1], [x0, y1, z1]]) lines.push(`v ${x} ${y} ${z}`);
    const v = (k) => base + k;
    // Faces turned out: top, then the four sides.
    lines.push(`f ${v(5)} ${v(8)} ${v(7)} ${v(6)}`, `f ${v(5)} ${v(6)} ${v(2)} ${v(1)}`, `f ${v(6)} ${v(7)} ${v(3)} ${v(2)}`,
      `f ${v(7)} ${v(8)} ${v(4)} ${v(3)}`, `f ${v(8)} ${v(5)} ${v(1)} ${v(4)}`);
    base += 8;
  }
  return lines.join('\n') + '\n';
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

  // Every setting says what its choice does, and the concave mode's line differs for each of the
  // seven.
  const hints = await page.evaluate(() => {
    const texts = [];
    for (let m = 1; m <= 7; ++m) { document.getElementById('concave').value = String(m); document.getElementById('concave').dispatchEvent(new Event('change')); texts.push(playground.hints().concave); }
    document.getElementById('concave').value = '3'; document.getElementById('concave').dispatchEvent(new Event('change'));
    return { concave: texts, all: playground.hints() };
  });
  check('every setting is explained in one line, each concave mode in its own',
    new Set(hints.concave).size === 7 && hints.concave.every((t) => t.length > 20) && Object.values(hints.all).every((t) => t.length > 20 && !t.includes('\n')),
    JSON.stringify(hints));

  // The concave spot: the seven modes do not all end in the same place.
  const spot = await page.evaluate(() => {
    const r = playground.showConcaveSpot().map((x) => x.feet);
    playground.setPaused(true);
    return { ends: r, text: playground.panels().concave };
  });
  const apart = (a, b) => Math.hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]) > 0.05;
  const groups = spot.ends.reduce((g, e) => (g.some((x) => !apart(x, e)) ? g : [...g, e]), []);
  check('at the concave spot the modes leave the character in at least three places a radius or more apart',
    groups.length >= 3 && Math.max(...spot.ends.map((e) => e[1])) - Math.min(...spot.ends.map((e) => e[1])) > 0.25 && /^The crevice/.test(spot.text),
    JSON.stringify(spot));

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
  const cover = viewCoverage(decodePng(readFileSync(shotPath)), box);
  check('the screenshot shows the level, not a blank canvas', cover.share > 0.25 && cover.colours >= 6,
    `${(100 * cover.share).toFixed(1)}% of the view differs from the background, ${cover.colours} colours`);

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
  const stale = await page.evaluate(() => playground.panels());
  check('a level change clears the ray, the file names, the walk result and the walk\'s settings',
    stale.ray === 'Click the view to cast a ray.' && stale.levelFile === '' && stale.walk === '' && stale.concave === '' &&
    stale.settings.response === 3 && stale.settings.concave === 3 && stale.settings.sizeMode === 0 && Math.abs(stale.settings.minSlope - 0.9) < 1e-6,
    JSON.stringify(stale));
  check('an OBJ level is loaded and walked on', objLevel.ok && objLevel.triangles === 2 && objLevel.level === 'floor.obj' && objLevel.stepped, JSON.stringify(objLevel));
  // A floor wound the other way: the character falls through it, the page says why, and turning
  // the level over gives a floor to stand on.
  const backs = await page.evaluate(async () => {
    await playground.openFiles([new File(['v -5 0 -5\nv 5 0 -5\nv 5 0 5\nv -5 0 5\nf 1 2 3 4\n'], 'under.obj')]);
    const sim = playground.sim;
    sim.placeAt([0, 0.5, 0]);
    let noted = false;
    for (let i = 0; i < 20 && !noted; ++i) { sim.step({ dx: 0, dz: 0 }); playground.characterOnScreen(); noted = playground.backNote(); }
    for (let i = 0; i < 100; ++i) sim.step({ dx: 0, dz: 0 });
    const fell = sim.feet()[1] < -0.1;
    playground.flipLevel();
    for (let i = 0; i < 60; ++i) sim.step({ dx: 0, dz: 0 });
    playground.characterOnScreen();
    return { noted, fell, flipped: sim.level.source, grounded: sim.grounded, feet: sim.feet(), noteAfter: playground.backNote() };
  });
  check('over back faces only, the page notes it; turned over, the level holds the character',
    backs.noted && backs.fell && backs.flipped === 'under.obj (turned over)' && backs.grounded && Math.abs(backs.feet[1]) < 0.01 && !backs.noteAfter,
    JSON.stringify(backs));
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

  // Grounded comes from the contact normal against the minimum slope: on the flat box a
  // normal y of 1 is walkable under 0.99, not under 1.
  const slopes = await page.evaluate(() => {
    const at = (v) => { playground.sim.applySettings({ minSlope: v }); playground.sim.step({ dx: 0, dz: 0 }); return playground.sim.grounded; };
    const r = { under099: at(0.99), under1: at(1), normals: playground.sim.contacts.map((c) => c.normal[1]) };
    playground.sim.applySettings({ minSlope: 0.9 });
    playground.sim.step({ dx: 0, dz: 0 });
    return r;
  });
  check('grounded follows the contact normal against the minimum slope', slopes.under099 && !slopes.under1 && slopes.normals.length > 0, JSON.stringify(slopes));
  // Off the box's edge the walk keeps its way: reversing the keys in the air only slows it.
  const air = await page.evaluate(() => {
    const sim = playground.sim;
    sim.placeAt([5.5, 0.01, 0]);
    for (let i = 0; i < 10; ++i) sim.step({ dx: 0, dz: 0 });
    let steps = 0;
    while (sim.grounded && steps++ < 200) sim.step({ dx: 1, dz: 0 });
    const left = sim.feet()[0];
    for (let i = 0; i < 5; ++i) sim.step({ dx: -1, dz: 0 });
    const r = { left, after: sim.feet()[0], grounded: sim.grounded, step: sim.scale.step };
    sim.placeAt([0, 0.01, 0]);
    for (let i = 0; i < 10; ++i) sim.step({ dx: 0, dz: 0 });
    return r;
  });
  check('walking off an edge, the walk in the air only nudges the motion', air.left > 6 && air.after > air.left + 2 * air.step && !air.grounded, JSON.stringify(air));

  // The controls a person uses: the panel's switches, the keyboard walk and the mouse orbit.
  await page.select('#response', '1');
  await page.select('#concave', '5');
  const switched = await page.evaluate(() => ({ ...playground.sim.settings, feet: playground.sim.feet() }));
  check('the panel switches response (rebuilding around the character) and concave mode live',
    switched.response === 1 && switched.concave === 5 && Math.abs(switched.feet[1]) < 0.05, JSON.stringify(switched));
  await page.select('#response', '3');
  const walkStart = await page.evaluate(() => { playground.setPaused(false); return playground.sim.feet(); });
  await page.mouse.click(box.x + 20, box.y + box.height - 20);
  // Held for ten frames of the page at least (a loaded machine draws few frames a second).
  const frameBefore = await page.evaluate(() => playground.sim.frame);
  await page.keyboard.down('KeyW');
  await new Promise((r) => setTimeout(r, 800));
  await page.waitForFunction((f) => playground.sim.frame >= f + 10, { timeout: 20000 }, frameBefore).catch(() => {});
  await page.keyboard.up('KeyW');
  const walked = await page.evaluate(() => playground.sim.feet());
  const walkStep = await page.evaluate(() => playground.sim.scale.step);
  const moved = Math.hypot(walked[0] - walkStart[0], walked[2] - walkStart[2]);
  check('holding W walks the character (eight steps or more)', moved > 7.9 * walkStep && Math.abs(walked[1]) < 0.05,
    `moved ${moved.toFixed(3)} (steps of ${walkStep.toFixed(4)}) to ${walked.map((v) => v.toFixed(3))}`);
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

  // A level 700 units wide: sized by vorcollide-scene's rules, visible, and the character found
  // again after it falls off the edge.
  const wideText = wideLevelObj();
  const widePath = path.join(outDir, 'wide700.obj');
  writeFileSync(widePath, wideText);
  const wide = await page.evaluate(async (text) => {
    const r = await playground.openFiles([new File([text], 'wide700.obj')]);
    playground.setPaused(true);
    playground.overview();
    return { ...r, scale: playground.sim.scale, camera: playground.camera(), start: playground.sim.level.start, bounds: playground.sim.bounds };
  }, wideText);
  check('a 700-unit level loads', wide.ok && wide.triangles === 24 * 24 * 2 + 4 * 10, JSON.stringify(wide).slice(0, 300));
  const summaryPath = path.join(outDir, 'wide700.json');
  const tool = spawnSync(sceneTool, ['--module', linuxModule, '--level', widePath, '--frames', '1', '--quiet', '--no-svg', '--summary-json', summaryPath], { encoding: 'utf8' });
  const toolScale = tool.status === 0 ? JSON.parse(readFileSync(summaryPath, 'utf8')) : null;
  const near = (a, b) => Math.abs(a - b) <= 1e-5 * Math.abs(b);
  check("the character is sized, and walks and falls, as vorcollide-scene's walkers on the same level",
    toolScale && near(wide.scale.radius, toolScale.radii[0]) && near(wide.scale.radiusY, toolScale.radii[1]) &&
    near(wide.scale.step * 60, toolScale.scale.speed_per_second) && near(wide.scale.gravity * 60, toolScale.scale.gravity_per_second) &&
    wide.scale.how === toolScale.scale.radius,
    `page ${JSON.stringify(wide.scale)}, tool ${toolScale ? JSON.stringify({ radii: toolScale.radii, ...toolScale.scale }) : tool.stderr}`);
  check('the camera sees the whole level (far plane beyond it, near plane in proportion)',
    wide.camera.far > 3 * 700 && wide.camera.near > 0.05 && wide.camera.near < wide.scale.radius, JSON.stringify(wide.camera));
  const wideShot = path.join(outDir, 'playground-wide.png');
  await page.screenshot({ path: wideShot });
  const wideCover = viewCoverage(decodePng(readFileSync(wideShot)), box);
  check('the 700-unit level is visible in the screenshot', wideCover.share > 0.3 && wideCover.colours >= 4,
    `${(100 * wideCover.share).toFixed(1)}% of the view differs from the background, ${wideCover.colours} colours`);
  const fell = await page.evaluate(() => {
    const sim = playground.sim, b = sim.bounds;
    // Walk off the far edge: past it, the character falls until it is put back.
    sim.placeAt([b.max[0] - sim.scale.radius * 2, b.max[1], 0]);
    const before = sim.respawns;
    let frames = 0;
    while (sim.respawns === before && frames++ < 2000) sim.step({ dx: 1, dz: 0 });
    for (let i = 0; i < 30; ++i) sim.step({ dx: 0, dz: 0 });
    return { frames, respawns: sim.respawns - before, feet: sim.feet(), grounded: sim.grounded, fallLimit: sim.fallLimit, screen: playground.characterOnScreen() };
  });
  const s = fell.screen;
  check('falling off the edge puts the character back on the level, on the ground',
    fell.respawns === 1 && fell.grounded && fell.feet[0] < wide.bounds.max[0] && fell.fallLimit > wide.bounds.min[1] - 800, JSON.stringify(fell));
  const fellShot = path.join(outDir, 'playground-respawn.png');
  await page.screenshot({ path: fellShot });
  const yellow = characterPixels(decodePng(readFileSync(fellShot)), box, s.x, s.y, 6);
  check('after the respawn the character is on screen (its colour at its projected place)',
    s.x > 0 && s.x < s.width && s.y > 0 && s.y < s.height && s.depth < 1 && yellow >= 4, `${JSON.stringify(s)}, ${yellow} character pixels`);

  // The readout's own geometry, where a wrong sign or region would misreport: the distance to a
  // triangle against the nearest of a dense sampling of it, overlaps at and just inside touching
  // (per-axis radii), and the depth of a walker lowered into the field's flat top.
  const geometry = await page.evaluate(async () => {
    const { distanceToTriangle, measureOverlaps, depthInGround, groundHeight } = await import('/crowds.js');
    let seed = 7;
    const random = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648) * 4 - 2;
    const a = [0, 0, 0], b = [2, 0.5, 0], c = [0.3, -0.2, 1.8];
    let worst = 0;
    for (let q = 0; q < 24; ++q) {
      const p = [random(), random(), random()];
      let sampled = Infinity;
      for (let i = 0; i <= 300; ++i) for (let k = 0; i + k <= 300; ++k) {
        const u = i / 300, v = k / 300;
        sampled = Math.min(sampled, Math.hypot(...[0, 1, 2].map((x) => a[x] + u * (b[x] - a[x]) + v * (c[x] - a[x]) - p[x])));
      }
      worst = Math.max(worst, Math.abs(sampled - distanceToTriangle(p, a, b, c)));
    }
    const r = [0.25, 0.45, 0.25];
    const pair = (dx, dy, dz) => { const m = measureOverlaps([0, 0, 0, dx, dy, dz, 9, 0, 9], r); return [m.overlapping, Number(m.deepest.toFixed(6)), [...m.inside]]; };
    const top = [(9 * Math.PI) / 2, 14 * Math.PI]; // sin(x/9) = cos(z/7) = 1: the field's flat top
    const walker = [0.25, 0.9, 0.25], at = (lift) => depthInGround([top[0], groundHeight(...top) + 0.9 + lift, top[1]], walker);
    return { worst, touching: pair(0.5, 0, 0), inside2mm: pair(0.498, 0, 0), aboveTouching: pair(0, 0.9, 0), same: pair(0, 0, 0), clear: at(0.1), sunk5cm: at(-0.05) };
  });
  check('the readout measures: triangle distance as a dense sampling gives it, overlaps from just inside touching, depth in the ground',
    geometry.worst < 0.01 && geometry.touching[0] === 0 && geometry.aboveTouching[0] === 0 &&
    geometry.inside2mm[0] === 2 && Math.abs(geometry.inside2mm[1] - 0.002) < 1e-5 && geometry.inside2mm[2].join() === '1,1,0' &&
    geometry.same[1] === 0.5 && geometry.clear === 0 && Math.abs(geometry.sunk5cm - 0.05) < 0.01, JSON.stringify(geometry));

  // Overlap recovery: the crowd presses into clusters whose bodies end inside each other with the
  // switch off; started again with it on, the same frames end with fewer. The panel's readout
  // says what the values say.
  const crowdRun = async (recover, frames) => {
    if (await page.$eval('#recovery', (e) => e.checked) !== recover) await page.click('#recovery');
    await page.click('#crowdScene');
    return page.evaluate((n) => playground.runCrowdFrames(n), frames);
  };
  const readoutSays = (r) => r.text.startsWith(`frame ${r.frame}, recovery ${r.recover ? 'on' : 'off'}: ${r.overlapping} of ${r.bodies} bodies inside another`) &&
    r.text.includes(`deepest overlap ${(1000 * r.deepest).toFixed(1)} mm`) && r.inside === r.overlapping;
  const crowdOff = await crowdRun(false, 120);
  check('the crowd without recovery ends with bodies inside each other, as its readout says',
    crowdOff.frame === 120 && !crowdOff.recover && crowdOff.bodies === 400 && crowdOff.overlapping > 10 && crowdOff.deepest > 0.1 && readoutSays(crowdOff),
    JSON.stringify(crowdOff));
  const crowdOn = await crowdRun(true, 120);
  check('the same crowd with recovery ends the same frames with fewer bodies inside another, and shallower',
    crowdOn.frame === 120 && crowdOn.recover && crowdOn.overlapping < crowdOff.overlapping && crowdOn.deepest < crowdOff.deepest && readoutSays(crowdOn),
    `off ${JSON.stringify(crowdOff)}, on ${JSON.stringify(crowdOn)}`);
  check('the switch is explained in one line, its own for each state',
    crowdOn.hint !== crowdOff.hint && [crowdOn.hint, crowdOff.hint].every((t) => t.length > 20 && !t.includes('\n')), `${crowdOff.hint} | ${crowdOn.hint}`);
  // Switched on in the middle of a run, the next passes take the overlaps apart.
  await page.click('#recovery');
  await page.click('#crowdScene');
  const pressed = await page.evaluate(() => playground.runCrowdFrames(120));
  await page.click('#recovery');
  const eased = await page.evaluate(() => playground.runCrowdFrames(60));
  check('switched on live, recovery takes a pressed crowd apart', !pressed.recover && eased.recover && eased.frame === 180 &&
    eased.overlapping < pressed.overlapping && eased.deepest < pressed.deepest, `${JSON.stringify(pressed)} -> ${JSON.stringify(eased)}`);
  await page.screenshot({ path: path.join(outDir, 'playground-crowd.png') });

  // The rolling level: without recovery walkers sink into the ground; with it, never 2 mm.
  const rolling = async (recover) => {
    if (await page.$eval('#recovery', (e) => e.checked) !== recover) await page.click('#recovery');
    await page.click('#rollingScene');
    return page.evaluate(() => playground.runCrowdFrames(600));
  };
  const sinkOff = await rolling(false), sinkOn = await rolling(true);
  await page.screenshot({ path: path.join(outDir, 'playground-rolling.png') });
  const groundSays = (r) => r.text.includes(`deepest so far ${(1000 * r.deepestInGround).toFixed(1)} mm, ${r.walkersOver2mm} of 16 walkers`);
  check('on the rolling level the readout shows walkers sinking without recovery, none 2 mm deep with it',
    sinkOff.deepestInGround > 0.01 && sinkOff.walkersOver2mm > 0 && sinkOn.deepestInGround <= 0.002 && sinkOn.walkersOver2mm === 0 &&
    sinkOn.frame === 600 && groundSays(sinkOff) && groundSays(sinkOn), `off ${JSON.stringify(sinkOff)}, on ${JSON.stringify(sinkOn)}`);

  // Back on the built-in level the switch is off again: the scripted walk gives its first hash.
  await page.click('#builtIn');
  const again = await page.evaluate(() => playground.runScriptedWalk().then((r) => ({ hash: r.hash, readout: document.getElementById('crowdReadout').textContent })));
  check('leaving the scenes restores the walk: the same hash as before them', again.hash === walk.hash && again.readout === '', `${walk.hash} then ${JSON.stringify(again)}`);
} catch (e) {
  problems.push(`test stopped: ${e.stack || e}`);
} finally {
  await browser.close();
}
check('no JavaScript error and no failed request', problems.length === 0, problems.slice(0, 8).join('\n    '));
console.log(`playground-browser: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
