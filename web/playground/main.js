// The playground page: three.js draws what the library says (positions, angles and contacts are
// read back from it every frame), the panel switches its settings, and files dropped on the page
// become levels or traces. Everything the page asks the library goes through sim.js, or through
// the trace player when a trace is open.
import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';
import { OBJLoader } from 'three/addons/loaders/OBJLoader.js';
import { loadVorcollide } from 'vorcollide';
import { createSim, builtInLevel, meshLevel, LIMITS, CHARACTER, scriptedInputs, SCRIPTED_WALK_FRAMES, DEFAULT_SETTINGS, CONCAVE_SPOT } from './sim.js';
import { SETTING_HINTS, settingHint } from './hints.js';
import { parseTrace, createTracePlayer } from './trace.js';
import { CROWD_SCENES, createCrowdScene } from './crowds.js';

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
const sim = createSim(vor, sceneData.characters);
const builtIn = builtInLevel(sceneData);

// ---- the view ---------------------------------------------------------------------------------
const container = $('view');
const renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
renderer.setPixelRatio(Math.min(window.devicePixelRatio, 2));
container.prepend(renderer.domElement);
const scene = new THREE.Scene();
scene.background = new THREE.Color(0x2b3038);
const camera = new THREE.PerspectiveCamera(55, 1, 0.05, 500); // near and far follow the level
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
const spotGroup = new THREE.Group(); // where each concave mode ends at the concave spot
scene.add(spotGroup);
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

const BACK_COLOUR = '#c2379a';
const backMaterial = new THREE.MeshStandardMaterial({ color: BACK_COLOUR, roughness: 0.9, side: THREE.BackSide, flatShading: true });
backMaterial.shared = true;
const palette = ['#d62728', '#1f77b4', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2', '#17becf'];
function addBodyView(number, { corners, colour, radii, offset, isCharacter }) {
  const node = new THREE.Group();
  if (corners && corners.length) {
    const mesh = new THREE.Mesh(meshGeometry(corners), new THREE.MeshStandardMaterial({ color: colour || '#c7c7c7', roughness: 0.85, flatShading: true }));
    mesh.userData.level = true;
    node.add(mesh);
    // The library hits a triangle from its front only: the back of one is drawn in its own shade.
    const back = new THREE.Mesh(mesh.geometry, backMaterial);
    back.userData.level = true;
    back.userData.back = true;
    node.add(back);
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
  const sc = sim.scale;
  addBodyView(CHARACTER, { radii: [sc.radius, sc.radiusY, sc.radius], offset: [0, sc.radiusY, 0], isCharacter: true });
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
const dotGeometry = new THREE.SphereGeometry(1, 10, 8);
// Markers are sized to the character (0.09 and 0.9 units for the built-in level's).
function drawContacts(lists) {
  clearGroup(markerGroup);
  const r = markerUnit();
  for (const c of lists) {
    const dot = new THREE.Mesh(dotGeometry, contactMaterial);
    dot.scale.setScalar(0.36 * r);
    dot.position.set(...c.point);
    markerGroup.add(dot);
    const n = new THREE.Vector3(...c.normal);
    if (n.lengthSq() > 0) markerGroup.add(new THREE.ArrowHelper(n.normalize(), dot.position, 3.6 * r, 0xff3355, 0.8 * r, 0.4 * r));
  }
  if (rayHit) {
    const dot = new THREE.Mesh(new THREE.SphereGeometry(0.32 * r, 12, 8), new THREE.MeshBasicMaterial({ color: 0x33ddff }));
    dot.position.set(...rayHit.point);
    markerGroup.add(dot);
    const n = new THREE.Vector3(...rayHit.normal);
    if (n.lengthSq() > 0) markerGroup.add(new THREE.ArrowHelper(n.normalize(), dot.position, 3.2 * r, 0x33ddff, 0.72 * r, 0.4 * r));
  }
}
const markerUnit = () => (tracePlayer ? 0.25 : sim.scale.radius);

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
  const end = caster.ray.origin.clone().addScaledVector(caster.ray.direction, camera.far).toArray();
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
  if (move.lengthSq() > 0) move.normalize().multiplyScalar(sim.scale.step);
  return { dx: move.x, dz: move.z, jump: keys.has('Space') };
}

let script = null; // the scripted walk's inputs while it runs
let walkDone = null;

function stepOnce() {
  if (crowd) {
    crowdReading = crowd.step();
    return;
  }
  let input;
  if (script) {
    const next = script.next();
    if (next.done) {
      if (walkDone) finishWalk();
      else script = null;
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
  sim.step(input);
  if (input.dx || input.dz || input.jump || input.to) following = true;
}

// While following, the orbit point is the character's centre: the camera keeps its offset from
// it as it walks, falls or is put back, so zooming and orbiting turn about the character. The
// overview looks at the whole level instead, until the character is walked or put back.
let following = true;
let respawnsSeen = 0;
function characterCentre() {
  const f = sim.feet();
  return new THREE.Vector3(f[0], f[1] + sim.scale.radiusY, f[2]);
}
function followCharacter() {
  following = true;
  const centre = characterCentre();
  camera.position.add(centre.clone().sub(controls.target));
  controls.target.copy(centre);
}

// Near and far planes and the zoom range from the level's size, so a level of 700 units is as
// visible as one of 7.
function fitCameraToLevel() {
  const { min, max } = sim.bounds;
  const size = Math.max(Math.hypot(max[0] - min[0], max[1] - min[1], max[2] - min[2]), 8 * sim.scale.radius);
  camera.near = size / 2000;
  camera.far = size * 8;
  camera.updateProjectionMatrix();
  controls.minDistance = 2 * sim.scale.radius;
  controls.maxDistance = size * 3;
}

// The whole level in view, seen from above its front edge.
function overview() {
  placeBodies(tracePlayer ? new Map([...tracePlayer.objects.values()].map((o) => [o.number, o.scale])) : undefined);
  const box = new THREE.Box3().setFromObject(worldGroup);
  if (box.isEmpty()) return;
  const centre = box.getCenter(new THREE.Vector3()), size = box.getSize(new THREE.Vector3());
  const reach = Math.max(size.x, size.z, tracePlayer ? 4 : 16 * sim.scale.radius);
  following = false;
  controls.target.copy(centre);
  camera.position.set(centre.x - reach * 0.15, centre.y + reach * 0.6, centre.z + reach * 0.75);
  refresh();
}

function refresh() {
  if (crowd) {
    refreshCrowd();
  } else if (tracePlayer) {
    const scales = new Map([...tracePlayer.objects.values()].map((o) => [o.number, o.scale]));
    placeBodies(scales);
    const shown = Number($('traceObject').value);
    const all = [];
    for (const o of tracePlayer.objects.values()) if (o.kinds.has(1)) all.push(...readContactsOf(o.number));
    drawContacts(all);
    contactRows(shown ? readContactsOf(shown) : []);
    $('hud').textContent = `trace ${traceName}: frame ${tracePlayer.frame} of ${tracePlayer.frames}`;
  } else {
    if (sim.respawns !== respawnsSeen) {
      respawnsSeen = sim.respawns;
      following = true;
    }
    if (following) followCharacter();
    placeBodies();
    drawContacts(sim.contacts);
    contactRows(sim.contacts);
    const f = sim.feet();
    const digits = Math.max(0, 2 - Math.floor(Math.log10(sim.scale.radius / 0.25)));
    const standing = sim.grounded ? `grounded on object ${sim.ground} (contact normal y above ${sim.settings.minSlope.toFixed(2)})` : 'airborne';
    $('hud').textContent = `frame ${sim.frame}  feet ${f.map((v) => v.toFixed(digits)).join(' ')}  ${standing}  respawns ${sim.respawns}  level: ${sim.level.source}`;
    showBackFaceNote(!sim.grounded && overBackFacesOnly());
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
  const s = { ...sim.settings, recovery: recoveryOn ? 1 : 0 };
  $('response').value = String(s.response);
  $('concave').value = String(s.concave);
  $('sizeMode').value = String(s.sizeMode);
  $('dynamic').value = String(s.dynamic);
  $('minSlope').value = String(s.minSlope);
  $('minSlopeValue').textContent = s.minSlope.toFixed(2);
  for (const id of Object.keys(SETTING_HINTS)) $(`${id}Hint`).textContent = settingHint(id, s[id]);
}
for (const id of ['response', 'concave', 'sizeMode', 'dynamic']) {
  $(id).addEventListener('change', () => {
    sim.applySettings({ [id]: Number($(id).value) });
    $(`${id}Hint`).textContent = settingHint(id, sim.settings[id]);
    $(id).blur();
  });
}
$('minSlope').addEventListener('change', () => $('minSlope').blur());
$('minSlope').addEventListener('input', () => {
  sim.applySettings({ minSlope: Number($('minSlope').value) });
  $('minSlopeValue').textContent = sim.settings.minSlope.toFixed(2);
  $('minSlopeHint').textContent = settingHint('minSlope', sim.settings.minSlope);
});

// ---- levels -------------------------------------------------------------------------------
// Every level starts afresh: default settings (the scripted walk changes some), no ray, no file
// names or results of the level before.
function useLevel(level) {
  leaveCrowd();
  closeTrace();
  sim.settings = { ...DEFAULT_SETTINGS, minSlope: sceneData.characters.minSlope };
  sim.setLevel(level);
  syncControls();
  buildLiveView();
  clearStalePanels();
  fitCameraToLevel();
  respawnsSeen = 0;
  $('status').textContent = `level ${level.source}`;
  $('scale').textContent = scaleText();
  $('concaveSpot').style.display = level.source === 'built-in' ? '' : 'none';
  overview();
}

function clearStalePanels() {
  script = null; // a push into the concave spot ends with its level
  rayHit = null;
  $('ray').textContent = 'Click the view to cast a ray.';
  $('ray').className = 'muted';
  $('levelFile').value = '';
  $('traceFile').value = '';
  $('walkResult').textContent = '';
  $('concaveResult').textContent = '';
  clearGroup(spotGroup);
  contactRows([]);
  showBackFaceNote(false);
}

function scaleText() {
  const sc = sim.scale, g = (v) => Number(v.toPrecision(3));
  return `Character: radii ${g(sc.radius)} × ${g(sc.radiusY)} × ${g(sc.radius)} (${sc.how}), walks ${g(sc.step * 60)} units a second, falls ${g(sc.gravity * 60)}; ` +
    `sized as vorcollide-scene sizes its walkers. Falling below y ${g(sim.fallLimit)} puts it back on the nearest surface.`;
}

// True when the first level surface straight below the character is the back of a triangle:
// the library will not hold the character there, it falls through.
const downCaster = new THREE.Raycaster();
function overBackFacesOnly() {
  if (!sim.bounds) return false;
  downCaster.set(characterCentre(), new THREE.Vector3(0, -1, 0));
  downCaster.far = sim.bounds.max[1] - sim.bounds.min[1] + 4 * sim.scale.radiusY;
  const levelMeshes = [];
  worldGroup.traverse((o) => { if (o.userData.level) levelMeshes.push(o); });
  const hits = downCaster.intersectObjects(levelMeshes, false);
  return hits.length > 0 && hits.every((h) => h.object.userData.back);
}

function showBackFaceNote(on) {
  $('backNote').style.display = on ? 'block' : 'none';
}

// The same level with every triangle turned the other way.
function flipLevel() {
  const level = sim.level;
  const objects = level.objects.map((o) => {
    const c = Float32Array.from(o.corners);
    for (let i = 0; i < c.length; i += 9) for (let a = 0; a < 3; ++a) [c[i + 3 + a], c[i + 6 + a]] = [c[i + 6 + a], c[i + 3 + a]];
    return { ...o, corners: c };
  });
  useLevel({ ...level, start: level.source === 'built-in' ? level.start : null, objects, source: level.source.endsWith(' (turned over)') ? level.source.slice(0, -14) : `${level.source} (turned over)` });
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
  leaveCrowd();
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
  clearStalePanels();
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
  fitCameraToLevel();
  followCharacter();
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
$('respawn').addEventListener('click', () => {
  if (crowd) return startCrowdScene(crowd.kind);
  sim.respawn();
  followCharacter();
});
$('flip').addEventListener('click', () => flipLevel());
$('concaveSpot').addEventListener('click', () => showConcaveSpot());
$('overview').addEventListener('click', () => (crowd ? crowdCamera() : overview()));

// ---- the scripted walk and recording ----------------------------------------------------------
function startWalk() {
  useLevel(builtIn);
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

// ---- the concave spot -------------------------------------------------------------------------
// The same push into the spot once per concave mode, each from the same start; the page then
// shows the chosen mode's push live.
function showConcaveSpot() {
  // The built-in level afresh, with the default settings but the concave mode chosen.
  const mode = sim.settings.concave;
  useLevel(builtIn);
  sim.applySettings({ concave: mode });
  syncControls();
  const results = sim.compareConcaveModes();
  sim.placeAt(CONCAVE_SPOT.start);
  // Look into the crevice from above its open side.
  const centre = characterCentre();
  controls.target.copy(centre);
  camera.position.set(centre.x - 0.3, centre.y + 5.5, centre.z + 3.2);
  followCharacter();
  script = concavePush(CONCAVE_SPOT.frames);
  // Each mode's end as a ghost of the character in the mode's colour.
  clearGroup(spotGroup);
  const sc = sim.scale;
  for (const r of results) {
    const ghost = new THREE.Mesh(new THREE.SphereGeometry(1, 16, 12), new THREE.MeshBasicMaterial({ color: palette[r.mode], transparent: true, opacity: 0.45, depthWrite: false }));
    ghost.scale.set(sc.radius, sc.radiusY, sc.radius);
    ghost.position.set(r.feet[0], r.feet[1] + sc.radiusY, r.feet[2]);
    spotGroup.add(ghost);
  }
  const g = (v) => v.toFixed(2);
  $('concaveResult').innerHTML = `${CONCAVE_SPOT.what}; the ghosts show where each mode leaves the character after ${CONCAVE_SPOT.frames} frames:<br>` +
    results.map((r) => `<span style="color:${palette[r.mode]}">■</span> ${r.mode === mode ? '<b>' : ''}${r.mode} ${settingHint('concave', r.mode).split(':')[0]}: ${r.feet.map(g).join(' ')}${r.mode === mode ? '</b>' : ''}`).join('<br>');
  return results;
}
function* concavePush(frames) {
  for (let i = 0; i < frames; ++i) yield { to: CONCAVE_SPOT.to, jump: false };
}

// ---- the overlap recovery scenes -------------------------------------------------------------
// A crowd or a rolling level replaces the character's world until a level is chosen again; the
// switch is system-wide, so it is turned off on the way out and the character's world (and its
// traces) stay as they were.
let crowd = null; // the scene while one runs
let crowdReading = null; // its readout after the last pass
let recoveryOn = false;
const crowdBody = new THREE.Color('#4f8fd6'), crowdInside = new THREE.Color('#e0413a');
let crowdBodies = null; // the instanced ellipsoids of the scene's bodies

function startCrowdScene(kind) {
  useLevel(builtIn); // closes a trace, clears the panels and leaves a scene shown before
  showMessage('');
  crowd = createCrowdScene(vor, kind, recoveryOn);
  crowdReading = crowd.measure();
  clearGroup(worldGroup);
  clearGroup(markerGroup);
  bodyViews = new Map();
  addBodyView(1, { corners: crowd.ground, colour: '#9aa6b2' });
  crowdBodies = new THREE.InstancedMesh(new THREE.SphereGeometry(1, 16, 10), new THREE.MeshStandardMaterial({ roughness: 0.5 }), crowd.bodies.length);
  worldGroup.add(crowdBodies);
  for (const id of ['settingsBox', 'flip', 'concaveSpot', 'record']) $(id).style.display = 'none';
  $('status').textContent = CROWD_SCENES[kind].title;
  $('scale').textContent = CROWD_SCENES[kind].about;
  crowdCamera();
  refresh();
  return crowdReading;
}

function leaveCrowd() {
  if (!crowd) return;
  crowd = null;
  crowdReading = null;
  crowdBodies = null;
  vor.SetOverlapRecoveryVOR(-1, -1, 0); // VOR_ALL_TYPES: every definition
  for (const id of ['settingsBox', 'flip', 'record']) $(id).style.display = '';
  $('crowdReadout').textContent = '';
}

// The whole scene from above its front edge.
function crowdCamera() {
  let min = [Infinity, Infinity, Infinity], max = [-Infinity, -Infinity, -Infinity];
  const g = crowd.ground;
  for (let i = 0; i < g.length; ++i) { min[i % 3] = Math.min(min[i % 3], g[i]); max[i % 3] = Math.max(max[i % 3], g[i]); }
  const centre = new THREE.Vector3((min[0] + max[0]) / 2, 0, (min[2] + max[2]) / 2), reach = Math.max(max[0] - min[0], max[2] - min[2]);
  camera.near = 0.05;
  camera.far = 20 * reach;
  camera.updateProjectionMatrix();
  controls.minDistance = 0.5;
  controls.maxDistance = 4 * reach;
  controls.target.copy(centre);
  camera.position.set(centre.x, reach * (crowd.kind === 'crowd' ? 0.55 : 0.45), centre.z + reach * 0.75);
}

// The bodies where the library has them, those inside another in red, and the readout.
function refreshCrowd() {
  placeBodies();
  const m = new THREE.Matrix4(), r = crowd.radii, c = crowd.centres;
  crowd.bodies.forEach((b, i) => {
    crowdBodies.setMatrixAt(i, m.makeScale(...r).setPosition(c[3 * i], c[3 * i + 1], c[3 * i + 2]));
    crowdBodies.setColorAt(i, crowdReading.inside[i] ? crowdInside : crowdBody);
  });
  crowdBodies.instanceMatrix.needsUpdate = true;
  crowdBodies.instanceColor.needsUpdate = true;
  $('crowdReadout').textContent = crowdReadoutText(crowdReading, crowd.bodies.length);
  $('hud').textContent = `${CROWD_SCENES[crowd.kind].title}  frame ${crowdReading.frame}  overlap recovery ${crowdReading.recover ? 'on' : 'off'}`;
}

function crowdReadoutText(r, count) {
  const mm = (v) => `${(1000 * v).toFixed(1)} mm`;
  let text = `frame ${r.frame}, recovery ${r.recover ? 'on' : 'off'}: ${r.overlapping} of ${count} bodies inside another by more than 1 mm (red), deepest overlap ${mm(r.deepest)}`;
  if (r.deepestInGround !== undefined)
    text += `; into the ground now ${mm(r.inGroundNow)} (red beyond 2 mm), deepest so far ${mm(r.deepestInGround)}, ${r.walkersOver2mm} of ${count} walkers more than 2 mm in at some frame`;
  return text;
}

$('crowdScene').addEventListener('click', () => startCrowdScene('crowd'));
$('rollingScene').addEventListener('click', () => startCrowdScene('rolling'));
$('recovery').addEventListener('change', () => {
  recoveryOn = $('recovery').checked;
  crowd?.setRecovery(recoveryOn);
  $('recoveryHint').textContent = settingHint('recovery', recoveryOn ? 1 : 0);
  $('recovery').blur();
});

// ---- start ----------------------------------------------------------------------------------
useLevel(builtIn);
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
  camera: () => ({ near: camera.near, far: camera.far, target: controls.target.toArray() }),
  // Where the character's centre falls in the view, in pixels from the canvas' top left corner.
  characterOnScreen() {
    refresh();
    const p = characterCentre().project(camera);
    const r = renderer.domElement.getBoundingClientRect();
    return { x: ((p.x + 1) / 2) * r.width, y: ((1 - p.y) / 2) * r.height, depth: p.z, width: r.width, height: r.height };
  },
  showConcaveSpot,
  flipLevel,
  hints: () => Object.fromEntries(Object.keys(SETTING_HINTS).map((id) => [id, $(`${id}Hint`).textContent])),
  panels: () => ({ ray: $('ray').textContent, levelFile: $('levelFile').value, walk: $('walkResult').textContent, concave: $('concaveResult').textContent, settings: { ...sim.settings } }),
  backNote: () => $('backNote').style.display === 'block',
  scaleText: () => $('scale').textContent,
  seekTrace: (frame) => { seekTrace(frame); return { frame: tracePlayer.frame, frames: tracePlayer.frames, compared: tracePlayer.compared, differ: tracePlayer.differ.length, contacts: [...tracePlayer.objects.values()].filter((o) => o.kinds.has(1)).reduce((n, o) => n + vor.CountCollisionsVOR(o.number), 0) }; },
  message: () => ({ text: $('message').textContent, kind: $('message').className }),
  lastTrace: () => lastTrace,
  // Runs frames of the crowd scene shown (the page stays paused) and answers its readout: the
  // values and the text the panel shows.
  runCrowdFrames(frames) {
    setPaused(true);
    for (let i = 0; i < frames; ++i) stepOnce();
    refresh();
    const { inside, ...values } = crowdReading;
    return { ...values, bodies: crowd.bodies.length, inside: inside.reduce((n, v) => n + v, 0), text: $('crowdReadout').textContent, hint: $('recoveryHint').textContent };
  },
  ready: true,
};
document.body.dataset.ready = '1';
