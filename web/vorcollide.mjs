// vorcollide for the web: loads vorcollide.wasm (or, where the engine lacks WebAssembly SIMD,
// vorcollide-plain.wasm: the same answers to the bit) in a browser or in Node and offers every export
// under its own name. Exports that answer float bits are decoded to numbers here (the raw bits
// stay available under `bits`); AddMeshVOR takes the host vertex block as bytes; and
// SetErrorHandlerVOR takes a JavaScript function, reached through a small bridge in the wasm
// build, since a wasm function pointer cannot point at JavaScript.

// Every export: argument kinds ('u' unsigned, 'i' signed, 'f' float, 'b' vertex block,
// 'h' handler and user) and result kind ('v' none, 'i' integer, 'f' float bits).
export const EXPORTS = [
  ['StartCollisionVOR', '', 'v'],
  ['StartCollisionDebugVOR', '', 'v'],
  ['StopCollisionVOR', '', 'v'],
  ['SetEllipOptimizeVOR', 'i', 'v'],
  ['SetEllipSizeModeVOR', 'i', 'v'],
  ['SetConcaveModeVOR', 'u', 'v'],
  ['SetWorkerCountVOR', 'i', 'v'],
  ['NewCollObjVOR', 'uu', 'v'],
  ['FreeObjVOR', 'u', 'v'],
  ['ActivateObjVOR', 'u', 'v'],
  ['DeActivateObjVOR', 'u', 'v'],
  ['AddObjShapeVOR', 'ui', 'v'],
  ['SetCollisionsVOR', 'uuuuu', 'v'],
  ['CheckShapeVOR', 'ui', 'i'],
  ['SetOverlapRecoveryVOR', 'iii', 'v'],
  ['SetObjRadiusVOR', 'ufff', 'v'],
  ['SetEllipOffsetVOR', 'ufff', 'v'],
  ['SetObjGravityVOR', 'uf', 'v'],
  ['SetObjMinSlopeVOR', 'uf', 'v'],
  ['SetObjPosVOR', 'fff', 'v'],
  ['SetObjRotVOR', 'fff', 'v'],
  ['SetObjScaleVOR', 'ufff', 'v'],
  ['UpdateObjVOR', 'ui', 'v'],
  ['PeekObjXVOR', 'u', 'f'],
  ['PeekObjYVOR', 'u', 'f'],
  ['PeekObjZVOR', 'u', 'f'],
  ['PeekObjPitch', 'u', 'f'],
  ['PeekObjYaw', 'u', 'f'],
  ['PeekObjRoll', 'u', 'f'],
  ['AddMeshTri', 'ufffffffff', 'v'],
  ['AddMeshVOR', 'ub', 'v'],
  ['Vec2Yaw', 'fff', 'f'],
  ['Vec2Pitch', 'fff', 'f'],
  ['RunCollisionVOR', '', 'v'],
  ['ResetCollisionStackVOR', '', 'v'],
  ['PeekCollisionStackVOR', '', 'i'],
  ['CountCollisionsVOR', 'u', 'i'],
  ['CollisionHitPos', 'uui', 'f'],
  ['CollisionHitNorm', 'uui', 'f'],
  ['CollisionHitObj', 'uu', 'i'],
  ['CollisionHitType', 'uu', 'i'],
  ['CollisionHitShape', 'uu', 'i'],
  ['CollisionHitPoly', 'uu', 'i'],
  ['CollisionTriCorner', 'uuii', 'f'],
  ['RayIntersectObjectVOR', 'uiffffff', 'i'],
  ['RayIntersectTypeVOR', 'iiffffff', 'i'],
  ['RayHitPosX', '', 'f'],
  ['RayHitPosY', '', 'f'],
  ['RayHitPosZ', '', 'f'],
  ['RayHitNormX', '', 'f'],
  ['RayHitNormY', '', 'f'],
  ['RayHitNormZ', '', 'f'],
  ['RayHitDist', '', 'f'],
  ['RayHitObjVOR', '', 'i'],
  ['RayHitTypeVOR', '', 'i'],
  ['SetErrorHandlerVOR', 'h', 'v'],
].map(([name, args, result]) => ({ name, args, result }));

const scratch = new DataView(new ArrayBuffer(4));

// The float whose bits an export answered (a number holding that float exactly).
export function floatFromBits(bits) {
  scratch.setInt32(0, bits, true);
  return scratch.getFloat32(0, true);
}

// The 32 bits of the float nearest to v, as a signed integer like the exports answer.
export function bitsFromFloat(v) {
  scratch.setFloat32(0, v, true);
  return scratch.getInt32(0, true);
}

// A host vertex block (word, vertex size in bytes, vertex count, vertices) for AddMeshVOR from
// triangle corners: a flat list of x y z, nine numbers per triangle.
export function makeVertexBlock(corners, word = 0x484f5354) {
  const count = Math.floor(corners.length / 3);
  const block = new DataView(new ArrayBuffer(12 + count * 12));
  block.setUint32(0, word >>> 0, true);
  block.setUint32(4, 12, true);
  block.setInt32(8, count, true);
  for (let i = 0; i < count * 3; ++i) block.setFloat32(12 + i * 4, corners[i], true);
  return block.buffer;
}

const textDecoder = new TextDecoder('utf-8');

function cString(memory, ptr) {
  const bytes = new Uint8Array(memory.buffer);
  let end = ptr;
  while (end < bytes.length && bytes[end] !== 0) ++end;
  return textDecoder.decode(bytes.subarray(ptr, end));
}

// The few WASI calls a wasm32-wasi program of ours makes: writing to standard output and error
// (handed on line by line), and exiting. memory() answers the calling module's memory.
export class WasiExit extends Error {
  constructor(code) {
    super(`exit ${code}`);
    this.code = code;
  }
}

export function wasiImports(memory, { stdout = console.log, stderr = console.error } = {}) {
  const pending = { 1: '', 2: '' };
  const sinks = { 1: stdout, 2: stderr };
  const flush = (fd, all) => {
    let text = pending[fd];
    let nl;
    while ((nl = text.indexOf('\n')) >= 0) {
      sinks[fd](text.slice(0, nl));
      text = text.slice(nl + 1);
    }
    if (all && text) {
      sinks[fd](text);
      text = '';
    }
    pending[fd] = text;
  };
  const ERRNO_BADF = 8, ERRNO_SPIPE = 70;
  return {
    fd_write(fd, iovs, iovsLen, written) {
      if (fd !== 1 && fd !== 2) return ERRNO_BADF;
      const view = new DataView(memory().buffer);
      let total = 0;
      for (let i = 0; i < iovsLen; ++i) {
        const ptr = view.getUint32(iovs + 8 * i, true);
        const len = view.getUint32(iovs + 8 * i + 4, true);
        pending[fd] += textDecoder.decode(new Uint8Array(memory().buffer, ptr, len));
        total += len;
      }
      view.setUint32(written, total, true);
      flush(fd, false);
      return 0;
    },
    fd_close: () => 0,
    fd_seek: () => ERRNO_SPIPE,
    fd_fdstat_get(fd, stat) {
      if (fd > 2) return ERRNO_BADF;
      const view = new DataView(memory().buffer);
      view.setUint8(stat, 2); // a character device
      view.setUint16(stat + 2, 0, true);
      view.setBigUint64(stat + 8, 0xffffffffn, true);
      view.setBigUint64(stat + 16, 0xffffffffn, true);
      return 0;
    },
    proc_exit(code) {
      flush(1, true);
      flush(2, true);
      throw new WasiExit(code);
    },
    flushAll() {
      flush(1, true);
      flush(2, true);
    },
  };
}

async function wasmBytesOrModule(source) {
  if (source instanceof WebAssembly.Module) return source;
  if (source instanceof ArrayBuffer || ArrayBuffer.isView(source)) return source;
  if (typeof Response !== 'undefined' && source instanceof Response) return source.arrayBuffer();
  const url = source instanceof URL ? source : new URL(String(source), globalThis.location?.href ?? `file://${process.cwd()}/`);
  if (url.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`cannot load ${url}: ${response.status} ${response.statusText}`);
  return response.arrayBuffer();
}

// The smallest module using a SIMD128 instruction (i8x16.popcnt of a splat): engines without
// WebAssembly SIMD refuse it.
const SIMD_PROBE = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 10,
  10, 1, 8, 0, 65, 0, 253, 15, 253, 98, 11]);

// True where this engine runs WebAssembly SIMD128.
export function simdSupported() {
  return WebAssembly.validate(SIMD_PROBE);
}

// The module file for this engine: vorcollide.wasm where it runs SIMD128, else
// vorcollide-plain.wasm; simd true or false forces one.
export function moduleFileName(simd = simdSupported()) {
  return simd ? 'vorcollide.wasm' : 'vorcollide-plain.wasm';
}

// Loads the module and answers the library: vor.NewCollObjVOR(1, 2), vor.PeekObjXVOR(1) (a
// number), vor.bits.PeekObjXVOR(1) (the float's bits), vor.AddMeshVOR(1, block) (an ArrayBuffer
// or typed array holding the host vertex block), vor.SetErrorHandlerVOR((text, caption, user) =>
// ..., user) or null for the default (one "Collision Error: text" line on stderr).
// options: onError (installed at once as the error handler), stdout, stderr (line sinks), simd
// (without a source: true or false loads that build, left out the feature test chooses).
export async function loadVorcollide(source = undefined, options = {}) {
  source ??= new URL(moduleFileName(options.simd ?? simdSupported()), import.meta.url);
  const loaded = await wasmBytesOrModule(source);
  const module = loaded instanceof WebAssembly.Module ? loaded : await WebAssembly.compile(loaded);
  let memory = null;
  let jsHandler = null;
  let jsUser;
  const wasi = wasiImports(() => memory, { stdout: options.stdout ?? console.log, stderr: options.stderr ?? console.error });
  const instance = await WebAssembly.instantiate(module, {
    wasi_snapshot_preview1: wasi,
    vorcollide_js: {
      error_report(text, caption) {
        if (jsHandler) jsHandler(cString(memory, text), cString(memory, caption), jsUser);
      },
    },
  });
  const raw = instance.exports;
  memory = raw.memory;
  raw._initialize();

  const vor = { module, instance, memory, bits: {}, exports: EXPORTS };
  for (const { name, result } of EXPORTS) {
    const fn = raw[name];
    if (typeof fn !== 'function') throw new Error(`vorcollide.wasm lacks the export ${name}`);
    vor.bits[name] = fn;
    vor[name] = result === 'f' ? (...args) => floatFromBits(fn(...args)) : fn;
  }

  vor.AddMeshVOR = vor.bits.AddMeshVOR = (obj, block) => {
    if (typeof block === 'number') return raw.AddMeshVOR(obj, block); // an address in wasm memory
    const bytes = block instanceof ArrayBuffer ? new Uint8Array(block)
      : new Uint8Array(block.buffer, block.byteOffset, block.byteLength);
    const at = raw.malloc(Math.max(bytes.length, 1));
    if (!at) throw new Error(`vorcollide.wasm: no memory for a vertex block of ${bytes.length} bytes`);
    try {
      new Uint8Array(memory.buffer, at, bytes.length).set(bytes);
      raw.AddMeshVOR(obj, at);
    } finally {
      raw.free(at);
    }
  };

  const bridge = raw.vorWasmErrorBridge();
  vor.SetErrorHandlerVOR = vor.bits.SetErrorHandlerVOR = (handler, user) => {
    if (handler !== null && handler !== undefined && typeof handler !== 'function')
      throw new TypeError('SetErrorHandlerVOR takes a function or null');
    jsHandler = handler ?? null;
    jsUser = user;
    raw.SetErrorHandlerVOR(jsHandler ? bridge : 0, 0);
  };
  vor.flushOutput = () => wasi.flushAll();
  if (options.onError) vor.SetErrorHandlerVOR(options.onError);
  return vor;
}

// Runs a wasm32-wasi command program whose missing functions are the library's exports (see
// web/wasm/probe_host.c), linked to this very instance. Answers { code, stdout, stderr }.
export async function runHostProgram(vor, source) {
  const loaded = await wasmBytesOrModule(source);
  const module = loaded instanceof WebAssembly.Module ? loaded : await WebAssembly.compile(loaded);
  const out = [], err = [];
  let memory = null;
  const wasi = wasiImports(() => memory, { stdout: (l) => out.push(l), stderr: (l) => err.push(l) });
  const env = {};
  for (const { name } of EXPORTS) env[name] = vor.instance.exports[name];
  const instance = await WebAssembly.instantiate(module, { env, wasi_snapshot_preview1: wasi });
  memory = instance.exports.memory;
  let code = 0;
  try {
    instance.exports._start();
  } catch (e) {
    if (!(e instanceof WasiExit)) throw e;
    code = e.code;
  }
  wasi.flushAll();
  return { code, stdout: out, stderr: err };
}
