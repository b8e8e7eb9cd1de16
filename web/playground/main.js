// The playground page: three.js draws what the library says (positions, angles and contacts are
// read back from it every frame), the panel switches its settings, and files dropped on the page
// become levels or traces. Everything the page asks the library goes through sim.js, or through
// the trace player when a trace is open.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';
import { OBJLoader } from 'three/addons/loaders/OBJLoader.js';
import { loadVorcollide } from 'vorcollide';
import { createSim, builtInLevel, meshLevel, LIMITS, CHARACTER, scriptedInputs, SCRIPTED_WALK_FRAMES } from './sim.js';
import { parseTrace, createTracePlayer } from './trace.js';

const $ = (id) => document.getElementById(id);

function showMessage(text, kind = 'error') {
  const box = $('message');
  box.textContent = text;
  box.className = text ? kind : '';
}

// ---- the library and the game -------------------------------------------------------------
let tracePlayer = null; // set while a trace is open
let traceName = '';
let vor, sceneData;
try {
  vor = await loadVorcollide(new URL('/gen/vorcollide.wasm', location.href), {
    stderr: (line) => console.warn(line),
    onError: (text, caption) => {
      const where = tracePlayer ? `${traceName}:${tracePlayer.line}: ` : '';
      showMessage(`${where}${caption}: ${text}`, 'info');
    },
  });
  const response = await fetch('/gen/scene-data.json');
  if (!response.ok) throw new Error(`/gen/scene-data.json: HTTP ${response.status}`);
  sceneData = await response.json();
} catch (e) {
  showMessage(`The playground cannot start: ${e.message}. Build it with bash scripts/playground.sh.`);
  $('status').textContent = 'not started';
  throw e;
}
const sim = createSim(vor);
const builtIn = builtInLevel(sceneData);

// ---- the view ---------------------------------------------------------------------------------
const container = $('view');
const renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
renderer.setPixelRatio(Math.min(window.devicePixelRatio, 2));
container.prepend(renderer.domElement);
const scene = new THREE.Scene();
scene.background = new THREE.Color(0x2b3038);
const camera = new THREE.PerspectiveCamera(55, 1, 0.05, 500);
camera.position.set(-14, 9, 8);
const controls = new OrbitControls(camera, renderer.domElement);
controls.target.set(-8, 0.5, -4);
controls.enableDamping = false;
scene.add(new THREE.HemisphereLight(0xffffff, 0x404450, 1.6));
const sun = new THREE.DirectionalLight(0xffffff, 1.8);
sun.position.set(6, 14, 9);
scene.add(sun);

const worldGroup = new THREE.Group(); // the level, bodies and contacts of what is shown
scene.add(worldGroup);
const markerGroup = new THREE.Group();
scene.add(markerGroup);
let bodyViews = new Map(); // object number -> the group drawn for its body

function resize() {
  const w = container.clientWidth, h = container.clientHeight;
  renderer.setSize(w, h, false);
  camera.aspect = w / Math.max(h, 1);
  camera.updateProjectionMatrix();
}
window.addEventListener('resize', resize);
resize();

function meshGeometry(corners) {
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.BufferAttribute(Float32Array.from(corners), 3));
  g.computeVertexNormals();
  return g;
}

function clearGroup(group) {
  for (const child of [...group.children]) {
    group.remove(child);
    child.traverse((o) => {
      o.geometry?.dispose();
      if (o.material && !o.material.shared) o.material.dispose?.();
    });
  }
}

const palette = ['#d62728', '#1f77b4', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2', '#17becf'];
function addBodyView(number, { corners, colour, radii, offset, isCharacter }) {
  const node = new THREE.Group();
  if (corners && corners.length) {
    const mesh = new THREE.Mesh(meshGeometry(corners), new THREE.MeshStandardMaterial({ color: colour || '#c7c7c7', roughness: 0.85, flatShading: true }));
    node.add(mesh);
    const edges = new THREE.LineSegments(new THREE.EdgesGeometry(mesh.geometry, 20), new THREE.LineBasicMaterial({ color: 0x222222, transparent: true, opacity: 0.35 }));
    node.add(edges);
  }
  if (radii) {
    const ball = new THREE.Mesh(new THREE.SphereGeometry(1, 24, 16),
      new THREE.MeshStandardMaterial({ color: isCharacter ? '#ffcc33' : palette[number % palette.length], roughness: 0.5, transparent: !isCharacter, opacity: isCharacter ? 1 : 0.85 }));
    ball.scale.set(...radii);
    ball.position.set(...(offset || [0, 0, 0]));
    ball.userData.ellipsoid = true;
    node.add(ball);
  }
  worldGroup.add(node);
  bodyViews.set(number, node);
}

// The live world: the level's objects, the balls and the character.
function buildLiveView() {
  clearGroup(worldGroup);
  bodyViews = new Map();
  for (const o of sim.level.objects) addBodyView(o.number, { corners: o.corners, colour: o.colour });
  if (sim.level.source === 'built-in') for (const b of sim.balls) addBodyView(b.number, { radii: b.radii });
  addBodyView(CHARACTER, { radii: [0.25, 0.45, 0.25], offset: [0, 0.45, 0], isCharacter: true });
}

// Places every drawn body where the library has it: resolved position and angles.
function placeBodies(scales) {
  for (const [n, node] of bodyViews) {
    node.position.set(vor.PeekObjXVOR(n), vor.PeekObjYVOR(n), vor.PeekObjZVOR(n));
    const d = Math.PI / 180;
    // Pitch about x, then yaw about y, then roll about z.
    node.rotation.set(vor.PeekObjPitch(n) * d, vor.PeekObjYaw(n) * d, vor.PeekObjRoll(n) * d, 'ZYX');
    const s = scales?.get(n);
    if (s) {
      node.children.forEach((c) => { if (!c.userData.ellipsoid) c.scale.set(...s); });
    }
  }
}

// Contacts: a dot at the point and an arrow along the normal.
const contactMaterial = new THREE.MeshBasicMaterial({ color: 0xff3355 });
contactMaterial.shared = true;
const dotGeometry = new THREE.SphereGeometry(0.09, 10, 8);
function drawContacts(lists) {
  clearGroup(markerGroup);
  for (const c of lists) {
    const dot = new THREE.Mesh(dotGeometry, contactMaterial);
    dot.position.set(...c.point);
    markerGroup.add(dot);
    const n = new THREE.Vector3(...c.normal);
    if (n.lengthSq() > 0) markerGroup.add(new THREE.ArrowHelper(n.normalize(), dot.position, 0.9, 0xff3355, 0.2, 0.1));
  }
  if (rayHit) {
    const dot = new THREE.Mesh(new THREE.SphereGeometry(0.08, 12, 8), new THREE.MeshBasicMaterial({ color: 0x33ddff }));
    dot.position.set(...rayHit.point);
    markerGroup.add(dot);
    const n = new THREE.Vector3(...rayHit.normal);
    if (n.lengthSq() > 0) markerGroup.add(new THREE.ArrowHelper(n.normalize(), dot.position, 0.8, 0x33ddff, 0.18, 0.1));
  }
}

function contactRows(list) {
  const shapeName = { 1: 'ellipsoid', 2: 'mesh' };
  $('contacts').innerHTML = list.length
    ? list.map((c) => `<tr><td>${c.object}</td><td>${c.type}</td><td>${shapeName[c.shape] ?? c.shape}</td><td>${c.polygon}</td><td>${c.normal.map((v) => v.toFixed(3)).join(' ')}</td></tr>`).join('')
    : '<tr><td colspan="5" class="muted">none</td></tr>';
}

function readContactsOf(n) {
  const list = [];
  const count = vor.CountCollisionsVOR(n);
  for (let k = 1; k <= count; ++k) {
    list.push({
      point: [1, 2, 3].map((a) => vor.CollisionHitPos(n, k, a)),
      normal: [1, 2, 3].map((a) => vor.CollisionHitNorm(n, k, a)),
      object: vor.CollisionHitObj(n, k), type: vor.CollisionHitType(n, k),
      shape: vor.CollisionHitShape(n, k), polygon: vor.CollisionHitPoly(n, k),
    });
  }
  return list;
}

// ---- the ray --------------------------------------------------------------------------------
let rayHit = null;
let pointerDown = null;
renderer.domElement.addEventListener('pointerdown', (e) => { pointerDown = [e.clientX, e.clientY]; });
renderer.domElement.addEventListener('pointerup', (e) => {
  if (!pointerDown || Math.hypot(e.clientX - pointerDown[0], e.clientY - pointerDown[1]) > 4) return;
  const r = renderer.domElement.getBoundingClientRect();
  castRayAt(((e.clientX - r.left) / r.width) * 2 - 1, -((e.clientY - r.top) / r.height) * 2 + 1);
});

function castRayAt(ndcX, ndcY) {
  const caster = new THREE.Raycaster();
  caster.setFromCamera(new THREE.Vector2(ndcX, ndcY), camera);
  const start = caster.ray.origin.toArray();
  const end = caster.ray.origin.clone().addScaledVector(caster.ray.direction, 200).toArray();
  const types = tracePlayer ? new Set([...tracePlayer.objects.values()].map((o) => o.type)) : null;
  rayHit = tracePlayer ? traceRay(types, start, end) : sim.castRay(start, end);
  $('ray').innerHTML = rayHit
    ? `hit object <b>${rayHit.object}</b> (type ${rayHit.type}, ${rayHit.kind === 1 ? 'ellipsoid' : 'mesh'}) at ${rayHit.point.map((v) => v.toFixed(3)).join(' ')}, normal ${rayHit.normal.map((v) => v.toFixed(3)).join(' ')}, distance ${rayHit.dist.toFixed(3)}`
    : 'no hit';
  $('ray').className = '';
  refresh();
  return rayHit;
}

function traceRay(types, start, end) {
  let best = null;
  for (const type of types) {
    for (const kind of [1, 2]) {
      if (!vor.RayIntersectTypeVOR(type, kind, ...start, ...end)) continue;
      const dist = vor.RayHitDist();
      if (best && dist >= best.dist) continue;
      best = { dist, kind, point: [vor.RayHitPosX(), vor.RayHitPosY(), vor.RayHitPosZ()], normal: [vor.RayHitNormX(), vor.RayHitNormY(), vor.RayHitNormZ()], object: vor.RayHitObjVOR(), type: vor.RayHitTypeVOR() };
    }
  }
  return best;
}

// ---- input and the loop -----------------------------------------------------------------------
const keys = new Set();
window.addEventListener('keydown', (e) => {
  if (e.target instanceof HTMLInputElement || e.target instanceof HTMLSelectElement) return;
  keys.add(e.code);
  if (e.code === 'Space' || e.code.startsWith('Arrow')) e.preventDefault();
});
window.addEventListener('keyup', (e) => keys.delete(e.code));
window.addEventListener('blur', () => keys.clear());

function keyboardInput() {
  const f = (keys.has('KeyW') || keys.has('ArrowUp') ? 1 : 0) - (keys.has('KeyS') || keys.has('ArrowDown') ? 1 : 0);
  const r = (keys.has('KeyD') || keys.has('ArrowRight') ? 1 : 0) - (keys.has('KeyA') || keys.has('ArrowLeft') ? 1 : 0);
  // Forward is where the camera looks, flattened onto the ground.
  const ahead = new THREE.Vector3().subVectors(controls.target, camera.position).setY(0).normalize();
  const right = new THREE.Vector3(-ahead.z, 0, ahead.x);
  const move = ahead.multiplyScalar(f).add(right.multiplyScalar(r));
  if (move.lengthSq() > 0) move.normalize().multiplyScalar(0.04);
  return { dx: move.x, dz: move.z, jump: keys.has('Space') };
}

let script = null; // the scripted walk's inputs while it runs
let walkDone = null;

function stepOnce() {
  let input;
  if (script) {
    const next = script.next();
    if (next.done) {
      finishWalk();
      return;
    } else {
      input = next.value;
      if (input.settings) {
        sim.applySettings(input.settings);
        syncControls();
      }
    }
  } else {
    input = keyboardInput();
  }
  const feet = sim.step(input);
  // The camera follows the character.
  if (lastFeet) {
    const delta = new THREE.Vector3(...feet).sub(new THREE.Vector3(...lastFeet));
    if (delta.lengthSq() < 4) {
      camera.position.add(delta);
      controls.target.add(delta);
    }
  }
  lastFeet = feet;
}
let lastFeet = null;

// The whole level in view, seen from above its front edge.
function overview() {
  placeBodies(tracePlayer ? new Map([...tracePlayer.objects.values()].map((o) => [o.number, o.scale])) : undefined);
  const box = new THREE.Box3().setFromObject(worldGroup);
  if (box.isEmpty()) return;
  const centre = box.getCenter(new THREE.Vector3()), size = box.getSize(new THREE.Vector3());
  const reach = Math.max(size.x, size.z, 4);
  controls.target.copy(centre);
  camera.position.set(centre.x - reach * 0.15, centre.y + reach * 0.6, centre.z + reach * 0.75);
  lastFeet = null;
  refresh();
}

function refresh() {
  if (tracePlayer) {
    const scales = new Map([...tracePlayer.objects.values()].map((o) => [o.number, o.scale]));
    placeBodies(scales);
    const shown = Number($('traceObject').value);
    const all = [];
    for (const o of tracePlayer.objects.values()) if (o.kinds.has(1)) all.push(...readContactsOf(o.number));
    drawContacts(all);
    contactRows(shown ? readContactsOf(shown) : []);
    $('hud').textContent = `trace ${traceName}: frame ${tracePlayer.frame} of ${tracePlayer.frames}`;
  } else {
    placeBodies();
    drawContacts(sim.contacts);
    contactRows(sim.contacts);
    const f = sim.feet();
    $('hud').textContent = `frame ${sim.frame}  feet ${f.map((v) => v.toFixed(2)).join(' ')}  ${sim.grounded ? 'grounded' : 'airborne'}  level: ${sim.level.source}`;
  }
  controls.update();
  renderer.render(scene, camera);
}

let last = performance.now(), acc = 0;
function loop(now) {
  requestAnimationFrame(loop);
  if (!tracePlayer && !paused) {
    acc = Math.min(acc + (now - last), 100);
    while (acc >= 1000 / 60) {
      stepOnce();
      acc -= 1000 / 60;
    }
  }
  last = now;
  refresh();
}
let paused = false;
function setPaused(on) {
  paused = on;
  $('pause').textContent = on ? 'Resume' : 'Pause';
}
$('pause').addEventListener('click', () => setPaused(!paused));
window.addEventListener('keydown', (e) => { if (e.code === 'KeyP' && !(e.target instanceof HTMLInputElement)) setPaused(!paused); });

// ---- settings -------------------------------------------------------------------------------
function syncControls() {
  const s = sim.settings;
  $('response').value = String(s.response);
  $('concave').value = String(s.concave);
  $('sizeMode').value = String(s.sizeMode);
  $('dynamic').value = String(s.dynamic);
  $('minSlope').value = String(s.minSlope);
  $('minSlopeValue').textContent = s.minSlope.toFixed(2);
}
for (const id of ['response', 'concave', 'sizeMode', 'dynamic']) {
  $(id).addEventListener('change', () => {
    sim.applySettings({ [id]: Number($(id).value) });
    $(id).blur();
  });
}
$('minSlope').addEventListener('change', () => $('minSlope').blur());
$('minSlope').addEventListener('input', () => {
  sim.applySettings({ minSlope: Number($('minSlope').value) });
  $('minSlopeValue').textContent = sim.settings.minSlope.toFixed(2);
});

// ---- levels -------------------------------------------------------------------------------
function useLevel(level) {
  closeTrace();
  sim.setLevel(level);
  buildLiveView();
  rayHit = null;
  lastFeet = null;
  $('status').textContent = `level ${level.source}`;
  overview();
}

// The triangles of a loaded three.js object, in world coordinates, as flat corners.
function cornersOf(root) {
  root.updateMatrixWorld(true);
  const out = [];
  const v = new THREE.Vector3();
  root.traverse((o) => {
    if (!o.isMesh || !o.geometry?.attributes?.position) return;
    const pos = o.geometry.attributes.position, index = o.geometry.index;
    const n = index ? index.count : pos.count;
    if (out.length / 9 + n / 3 > LIMITS.maxTriangles) throw new Error(`more than ${LIMITS.maxTriangles.toLocaleString('en')} triangles: too large a level for the playground`);
    for (let i = 0; i + 2 < n; i += 3) {
      for (let k = 0; k < 3; ++k) {
        v.fromBufferAttribute(pos, index ? index.getX(i + k) : i + k).applyMatrix4(o.matrixWorld);
        out.push(v.x, v.y, v.z);
      }
    }
  });
  return out;
}

async function loadLevelFile(file) {
  const ext = file.name.toLowerCase().split('.').pop();
  if (!['glb', 'gltf', 'obj'].includes(ext)) throw new Error(`${file.name}: not a level file (use .glb, .gltf or .obj)`);
  if (file.size > LIMITS.maxFileBytes) throw new Error(`${file.name}: ${(file.size / 1048576).toFixed(1)} MB, too large a level for the playground (at most ${LIMITS.maxFileBytes / 1048576} MB)`);
  let root;
  try {
    if (ext === 'obj') {
      root = new OBJLoader().parse(await file.text());
    } else {
      const data = ext === 'glb' ? await file.arrayBuffer() : await file.text();
      root = (await new GLTFLoader().parseAsync(data, '')).scene;
    }
  } catch (e) {
    throw new Error(`${file.name}: not a readable ${ext.toUpperCase()} level: ${e.message || e}`);
  }
  let corners;
  try {
    corners = cornersOf(root);
  } catch (e) {
    throw new Error(`${file.name}: ${e.message}`);
  }
  if (!corners.length) throw new Error(`${file.name}: no triangles found, so not a level`);
  if (corners.some((c) => !Number.isFinite(c))) throw new Error(`${file.name}: a vertex has a coordinate that is not a finite number`);
  useLevel(meshLevel(Float32Array.from(corners), file.name));
  return { triangles: corners.length / 9 };
}

// ---- traces -------------------------------------------------------------------------------
async function openTrace(file, others = []) {
  const objFiles = new Map();
  for (const f of others) {
    if (!f.name.toLowerCase().endsWith('.obj')) continue;
    objFiles.set(f.name, Float32Array.from(cornersOf(new OBJLoader().parse(await f.text()))));
  }
  const ops = parseTrace(await file.text(), file.name, objFiles);
  if (!ops.some((op) => op.name === 'RunCollisionVOR')) throw new Error(`${file.name}: no RunCollisionVOR in the trace, so no frame to show`);
  tracePlayer = createTracePlayer(vor, ops);
  traceName = file.name;
  tracePlayer.seek(0);
  buildTraceView();
  rayHit = null;
  $('ray').textContent = 'Click the view to cast a ray.';
  $('settingsBox').style.display = 'none';
  overview();
  $('traceBox').style.display = 'block';
  $('traceSlider').max = String(tracePlayer.frames);
  $('traceSlider').value = '0';
  seekTrace(1);
  return { frames: tracePlayer.frames };
}

function buildTraceView() {
  clearGroup(worldGroup);
  bodyViews = new Map();
  const select = $('traceObject');
  select.innerHTML = '';
  for (const o of tracePlayer.objects.values()) {
    addBodyView(o.number, { corners: o.corners, colour: '#b9c2cc', radii: o.kinds.has(1) ? o.radii : null, offset: o.offset });
    if (o.kinds.has(1)) select.add(new Option(`object ${o.number} (type ${o.type})`, String(o.number)));
  }
  tracePlayer.viewKey = viewKey();
}
const viewKey = () => [...tracePlayer.objects.values()].map((o) => `${o.number}:${o.kinds.size}:${o.corners.length}:${o.radii}`).join(',');

function seekTrace(frame) {
  const before = tracePlayer.frame;
  tracePlayer.seek(frame);
  if (tracePlayer.frame < before || viewKey() !== tracePlayer.viewKey) buildTraceView();
  $('traceSlider').value = String(tracePlayer.frame);
  const d = tracePlayer.differ;
  $('traceInfo').textContent = `frame ${tracePlayer.frame} of ${tracePlayer.frames}; ${tracePlayer.compared} recorded results compared, ${d.length} differ`;
  if (d.length) showMessage(`${traceName}: results differ from the recorded ones:\n${d.slice(0, 5).join('\n')}`);
  refresh();
}

function closeTrace() {
  if (!tracePlayer) return;
  tracePlayer = null;
  $('traceBox').style.display = 'none';
  $('settingsBox').style.display = '';
  sim.setLevel(sim.level);
  buildLiveView();
}

$('traceSlider').addEventListener('input', () => seekTrace(Number($('traceSlider').value)));
$('tracePrev').addEventListener('click', () => seekTrace(tracePlayer.frame - 1));
$('traceNext').addEventListener('click', () => seekTrace(tracePlayer.frame + 1));
$('traceClose').addEventListener('click', () => { closeTrace(); showMessage(''); });
$('traceObject').addEventListener('change', () => refresh());

// ---- files --------------------------------------------------------------------------------
async function openFiles(files) {
  files = [...files];
  if (!files.length) return null;
  const trace = files.find((f) => /\.(trace|txt|log)$/i.test(f.name));
  try {
    const result = trace ? await openTrace(trace, files.filter((f) => f !== trace)) : await loadLevelFile(files[0]);
    showMessage(trace ? `${trace.name}: ${result.frames} frames` : `${files[0].name}: ${result.triangles} triangles`, 'info');
    return { ok: true, ...result };
  } catch (e) {
    showMessage(e.message || String(e));
    return { ok: false, message: e.message || String(e) };
  }
}
$('levelFile').addEventListener('change', (e) => openFiles(e.target.files));
$('traceFile').addEventListener('change', (e) => openFiles(e.target.files));
const dropShade = $('drop');
window.addEventListener('dragover', (e) => { e.preventDefault(); dropShade.style.display = 'flex'; });
window.addEventListener('dragleave', () => { dropShade.style.display = 'none'; });
window.addEventListener('drop', (e) => {
  e.preventDefault();
  dropShade.style.display = 'none';
  openFiles(e.dataTransfer.files);
});
$('builtIn').addEventListener('click', () => { useLevel(builtIn); showMessage(''); });
$('respawn').addEventListener('click', () => { sim.respawn(); lastFeet = null; });
$('overview').addEventListener('click', () => overview());

// ---- the scripted walk and recording ----------------------------------------------------------
function startWalk() {
  useLevel(builtIn);
  sim.settings = { response: 3, concave: 3, sizeMode: 0, minSlope: 0.9, dynamic: 4, optimize: 1 };
  syncControls();
  sim.startRecording(`the playground's scripted walk of ${SCRIPTED_WALK_FRAMES} frames`);
  sim.setLevel(builtIn);
  script = scriptedInputs();
  return new Promise((resolve) => { walkDone = resolve; });
}

function finishWalk() {
  script = null;
  const result = { frames: sim.frame, hash: `0x${sim.hash.toString(16).padStart(16, '0')}`, results: sim.resultsHashed, trace: sim.stopRecording() };
  result.feet = sim.feet();
  $('walkResult').textContent = `scripted walk: ${result.frames} frames, ${result.results} results, hash ${result.hash}`;
  lastTrace = result.trace;
  walkDone?.(result);
  walkDone = null;
}
let lastTrace = '';

$('walk').addEventListener('click', () => {
  setPaused(false);
  startWalk();
});
$('record').addEventListener('click', () => {
  if (sim.trace) {
    const text = sim.stopRecording();
    const a = document.createElement('a');
    a.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
    a.download = 'playground.trace';
    a.click();
    $('record').textContent = 'Record a trace';
  } else {
    sim.startRecording('recorded in the playground');
    sim.setLevel(sim.level);
    $('record').textContent = 'Stop and save the trace';
  }
});

// ---- start ----------------------------------------------------------------------------------
useLevel(builtIn);
syncControls();
requestAnimationFrame(loop);

// For scripts and tests: the page's own functions.
window.playground = {
  vor, sim, limits: LIMITS,
  // Runs the scripted walk through the page's own frame function, frames as fast as they go.
  // The page stays paused on the walk's last frame.
  async runScriptedWalk() {
    setPaused(true);
    const done = startWalk();
    while (script) stepOnce();
    refresh();
    return done;
  },
  setPaused,
  openFiles,
  castRayAt,
  overview,
  cameraPosition: () => camera.position.toArray(),
  seekTrace: (frame) => { seekTrace(frame); return { frame: tracePlayer.frame, frames: tracePlayer.frames, compared: tracePlayer.compared, differ: tracePlayer.differ.length, contacts: [...tracePlayer.objects.values()].filter((o) => o.kinds.has(1)).reduce((n, o) => n + vor.CountCollisionsVOR(o.number), 0) }; },
  message: () => ({ text: $('message').textContent, kind: $('message').className }),
  lastTrace: () => lastTrace,
  ready: true,
};
document.body.dataset.ready = '1';
