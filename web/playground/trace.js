// Reading and playing traces recorded by `vorcollide-scene --record` (the format of the README's
// "The trace format"). The reader follows the command-line tool's rules and names the file and
// line of the first bad line the same way; the player replays the calls up to a chosen frame (a
// frame ends at each RunCollisionVOR) and compares every recorded result with its own.
import { EXPORTS, floatFromBits, bitsFromFloat } from 'vorcollide';

const SIGNATURES = Object.fromEntries(EXPORTS.map((e) => [e.name, e]));
const MAX_VERTEX_SIZE = 4096;
const MAX_VERTICES = 3000000;
const KIND_NAME = { f: 'a number', i: 'an integer', u: 'an unsigned integer' };

function floatBits(v) {
  return bitsFromFloat(v) >>> 0;
}

// The bits of one argument token of kind 'u', 'i' or 'f', or null when it is not one.
export function parseArgument(token, kind) {
  if (!token) return null;
  if (kind === 'f') {
    if (token.startsWith('nan:')) {
      const hex = token.slice(4);
      if (!/^(0[xX])?[0-9a-fA-F]+$/.test(hex)) return null;
      const v = parseInt(hex.replace(/^0[xX]/, ''), 16);
      if (v > 0xffffffff || !Number.isNaN(floatFromBits(v | 0))) return null;
      return v >>> 0;
    }
    const t = token.trim();
    let m;
    if (/^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(t)) return floatBits(Number(t));
    if ((m = /^([+-]?)0[xX]([0-9a-fA-F]*)\.?([0-9a-fA-F]*)(?:[pP]([+-]?\d+))?$/.exec(t)) && (m[2] || m[3])) {
      const mantissa = parseInt((m[2] || '0') + (m[3] || ''), 16);
      const v = mantissa * Math.pow(2, Number(m[4] || 0) - 4 * (m[3] || '').length);
      return floatBits(m[1] === '-' ? -v : v);
    }
    if ((m = /^([+-]?)(inf|infinity)$/i.exec(t))) return floatBits(m[1] === '-' ? -Infinity : Infinity);
    if ((m = /^([+-]?)nan$/i.exec(t))) return m[1] === '-' ? 0xffc00000 : 0x7fc00000;
    return null;
  }
  if (!/^\s*[+-]?\d+$/.test(token)) return null;
  const v = Number(token);
  if (kind === 'i' ? v < -2147483648 || v > 2147483647 : v < -2147483648 || v > 4294967295) return null;
  return v >>> 0;
}

function splitLine(text) {
  const hash = text.indexOf('#');
  const body = hash >= 0 ? text.slice(0, hash) : text;
  return { tokens: body.split(/\s+/).filter(Boolean), comment: hash >= 0 ? text.slice(hash + 1) : '' };
}

function parseBlock(t, op) {
  if (t.length < 6 || t[2] !== 'block') throw new Error('AddMeshVOR takes OBJECT block WORD VERTEXSIZE VERTEXCOUNT and then x y z of every vertex');
  const obj = parseArgument(t[1], 'u'), word = parseArgument(t[3], 'i'), size = parseArgument(t[4], 'u'), count = parseArgument(t[5], 'i');
  if (obj === null || word === null || size === null || count === null) throw new Error('AddMeshVOR: object, word, vertex size and vertex count must be integers');
  const n = count | 0;
  if (size > MAX_VERTEX_SIZE || n > MAX_VERTICES) throw new Error('AddMeshVOR: vertex size or count too large for a trace');
  const vertices = Math.max(n, 0);
  if (t.length !== 6 + 3 * vertices) throw new Error(`AddMeshVOR: ${vertices} vertices need ${3 * vertices} coordinates, got ${t.length - 6}`);
  const stride = size & ~3;
  const bytes = 12 + (vertices ? (vertices - 1) * stride + 12 : 0);
  const block = new DataView(new ArrayBuffer((bytes + 3) & ~3));
  block.setUint32(0, word, true);
  block.setUint32(4, size, true);
  block.setUint32(8, count, true);
  const corners = new Float32Array(vertices * 3);
  for (let k = 0; k < vertices; ++k) {
    for (let a = 0; a < 3; ++a) {
      const bits = parseArgument(t[6 + 3 * k + a], 'f');
      if (bits === null) throw new Error(`AddMeshVOR: coordinate ${3 * k + a + 1} is not a number: '${t[6 + 3 * k + a]}'`);
      block.setUint32(12 + k * stride + 4 * a, bits, true);
      corners[3 * k + a] = floatFromBits(bits | 0);
    }
  }
  op.name = 'AddMeshVOR';
  op.words = [obj];
  op.block = block.buffer;
  op.corners = corners;
}

function parseCall(t, op) {
  const sig = SIGNATURES[t[0]];
  if (!sig) throw new Error(`unknown call '${t[0]}'`);
  if (sig.name === 'SetErrorHandlerVOR') throw new Error('SetErrorHandlerVOR cannot be replayed (the replayer installs its own handler)');
  if (sig.name === 'AddMeshVOR') return parseBlock(t, op);
  const want = sig.args.length;
  if (t.length - 1 !== want) throw new Error(`${sig.name} takes ${want} ${want === 1 ? 'argument' : 'arguments'}, got ${t.length - 1}`);
  op.name = sig.name;
  op.words = [];
  for (let i = 0; i < want; ++i) {
    const bits = parseArgument(t[i + 1], sig.args[i]);
    if (bits === null) throw new Error(`argument ${i + 1} of ${sig.name} is not ${KIND_NAME[sig.args[i]]}: '${t[i + 1]}'`);
    op.words.push(bits);
  }
}

// Reads a trace's text; throws an Error whose message is "FILE:LINE: what is wrong". objFiles
// maps the names of dropped OBJ files to their triangle corners, for @obj lines.
export function parseTrace(text, fileName, objFiles = new Map()) {
  const ops = [];
  const lines = text.split('\n');
  for (let i = 0; i < lines.length; ++i) {
    let line = lines[i];
    if (line.endsWith('\r')) line = line.slice(0, -1);
    const { tokens, comment } = splitLine(line);
    if (!tokens.length) continue;
    const op = { line: i + 1 };
    try {
      if (tokens[0][0] === '@') {
        if (tokens[0] !== '@obj') throw new Error(`unknown directive '${tokens[0]}'`);
        const obj = tokens.length === 3 ? parseArgument(tokens[1], 'u') : null;
        if (obj === null) throw new Error('@obj takes OBJECT FILE.obj');
        const base = tokens[2].split('/').pop();
        const corners = objFiles.get(base);
        if (!corners) throw new Error(`@obj loads ${tokens[2]}: drop that file on the page together with the trace`);
        const block = new DataView(new ArrayBuffer(12 + corners.length * 4));
        block.setUint32(0, 0x484f5354, true);
        block.setUint32(4, 12, true);
        block.setUint32(8, corners.length / 3, true);
        corners.forEach((v, k) => block.setFloat32(12 + 4 * k, v, true));
        Object.assign(op, { name: 'AddMeshVOR', words: [obj], block: block.buffer, corners });
      } else {
        parseCall(tokens, op);
      }
    } catch (e) {
      throw new Error(`${fileName}:${i + 1}: ${e.message}`);
    }
    const c = comment.trim();
    if (c.startsWith('->')) op.expected = c.slice(2).trim();
    ops.push(op);
  }
  return ops;
}

export function formatResult(kind, value) {
  if (kind !== 'f') return String(value | 0);
  const f = floatFromBits(value);
  let text;
  if (Number.isNaN(f)) text = `nan:0x${(value >>> 0).toString(16).padStart(8, '0')}`;
  else if (!Number.isFinite(f)) text = f > 0 ? 'inf' : '-inf';
  else {
    // C's %.9g: nine significant digits, trailing zeros dropped, exponent form outside 1e-4..1e9.
    // The exponent after rounding to nine digits decides the form, as in C.
    let [m, e] = f.toExponential(8).split('e');
    const exp = Number(e);
    let s;
    if (exp < -4 || exp >= 9) {
      if (m.includes('.')) m = m.replace(/0+$/, '').replace(/\.$/, '');
      s = `${m}e${exp < 0 ? '-' : '+'}${String(Math.abs(exp)).padStart(2, '0')}`;
    } else {
      s = f.toFixed(Math.max(0, 8 - exp));
      if (s.includes('.')) s = s.replace(/0+$/, '').replace(/\.$/, '');
    }
    text = Object.is(f, -0) ? '-0' : s;
  }
  return `${text} [0x${(value >>> 0).toString(16).padStart(8, '0')}]`;
}

// Replays ops on the library up to the end of a frame, from a fresh system each time it has to
// go back. Knows the objects the trace made, for drawing them.
export function createTracePlayer(vor, ops) {
  const frameEnds = [];
  ops.forEach((op, i) => op.name === 'RunCollisionVOR' && frameEnds.push(i));
  const player = { ops, frames: frameEnds.length, frame: -1, next: 0, compared: 0, differ: [], objects: new Map() };

  function object(n) {
    if (!player.objects.has(n)) player.objects.set(n, { number: n, type: 0, kinds: new Set(), radii: [1, 1, 1], offset: [0, 0, 0], scale: [1, 1, 1], corners: [] });
    return player.objects.get(n);
  }

  function reset() {
    // A freshly loaded module: Stop empties everything but the settings, which take their
    // initial values again here.
    vor.StopCollisionVOR();
    vor.SetEllipOptimizeVOR(1);
    vor.SetEllipSizeModeVOR(0);
    vor.SetConcaveModeVOR(3);
    player.next = 0;
    player.frame = 0;
    player.compared = 0;
    player.differ = [];
    player.objects = new Map();
  }

  function run(op) {
    player.line = op.line;
    const f = (k) => floatFromBits(op.words[k] | 0);
    switch (op.name) {
      case 'NewCollObjVOR': Object.assign(object(op.words[0]), { type: op.words[1] | 0, kinds: new Set(), corners: [], radii: [1, 1, 1], offset: [0, 0, 0], scale: [1, 1, 1] }); break;
      case 'FreeObjVOR': player.objects.delete(op.words[0]); break;
      case 'AddObjShapeVOR': object(op.words[0]).kinds.add(op.words[1] | 0); break;
      case 'SetObjRadiusVOR': object(op.words[0]).radii = [f(1), f(2), f(3)]; break;
      case 'SetEllipOffsetVOR': object(op.words[0]).offset = [f(1), f(2), f(3)]; break;
      case 'SetObjScaleVOR': object(op.words[0]).scale = [f(1) / 100, f(2) / 100, f(3) / 100]; break;
      case 'AddMeshTri': object(op.words[0]).corners.push(...op.words.slice(1).map((w, k) => f(k + 1))); break;
      case 'AddMeshVOR': object(op.words[0]).corners.push(...op.corners); break;
      case 'StopCollisionVOR': player.objects = new Map(); break;
    }
    if (op.name === 'AddMeshVOR') {
      vor.AddMeshVOR(op.words[0], op.block);
      return;
    }
    const sig = SIGNATURES[op.name];
    const words = op.words.map((w, k) => (sig.args[k] === 'f' ? floatFromBits(w | 0) : w | 0));
    const result = vor.bits[op.name](...words);
    if (sig.result !== 'v' && op.expected !== undefined) {
      ++player.compared;
      const text = formatResult(sig.result, result);
      if (text !== op.expected) player.differ.push(`${op.line}: ${op.name} gave ${text}, the trace recorded ${op.expected}`);
    }
  }

  // Frame k is the state after the k-th RunCollisionVOR and the reads that follow it (frame 0:
  // the set-up before the first pass); the next frame's moves are not made yet.
  const reads = /^(Peek|Count|CollisionHit|CollisionTri|Ray|Vec2|CheckShape|ResetCollisionStack)/;
  const stops = [frameEnds.length ? frameEnds[0] : ops.length];
  for (const end of frameEnds) {
    let s = end + 1;
    while (s < ops.length && reads.test(ops[s].name)) ++s;
    stops.push(s);
  }
  player.seek = (frame) => {
    frame = Math.max(0, Math.min(frame, player.frames));
    if (frame < player.frame || player.frame < 0) reset();
    while (player.next < stops[frame]) run(ops[player.next++]);
    player.frame = frame;
  };
  return player;
}
