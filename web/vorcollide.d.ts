// Declarations of the loader, vorcollide.mjs. The library's exports are declared in
// vorcollide-exports.d.ts, which the package build makes from the C header.
import type { ErrorHandler, ExportName, VorcollideBits, VorcollideExports } from './vorcollide-exports.js';

export type { ErrorHandler, ExportName, VertexBlock, VorcollideBits, VorcollideExports } from './vorcollide-exports.js';

/** One export: its argument kinds ('u' unsigned, 'i' signed, 'f' float, 'b' vertex block,
 * 'h' handler and user) and its result kind ('v' none, 'i' integer, 'f' float bits). */
export interface ExportInfo {
  name: ExportName;
  args: string;
  result: 'v' | 'i' | 'f';
}

/** Every export of the module, in the header's order. */
export const EXPORTS: readonly ExportInfo[];

/** The float whose bits an export answered, as a number holding that float exactly. */
export function floatFromBits(bits: number): number;

/** The 32 bits of the float nearest to v, as a signed integer like the exports answer. */
export function bitsFromFloat(v: number): number;

/** A host vertex block for AddMeshVOR from triangle corners: a flat list of x y z, nine numbers
 * per triangle, corners counter-clockwise seen from the front. `word` is the block's first word. */
export function makeVertexBlock(corners: ArrayLike<number>, word?: number): ArrayBuffer;

/** Where the module comes from: a URL or path (file: URLs are read from disk in Node), the
 * bytes, a fetch Response, or a compiled module. */
export type ModuleSource = string | URL | ArrayBuffer | ArrayBufferView | Response | WebAssembly.Module;

export interface LoadOptions {
  /** Installed at once as the error handler. */
  onError?: ErrorHandler;
  /** Receives the module's standard output, line by line (default console.log). */
  stdout?: (line: string) => void;
  /** Receives the module's standard error, line by line (default console.error). */
  stderr?: (line: string) => void;
}

/** The loaded library: every export under its own name, plus the module's own handles. */
export interface Vorcollide extends VorcollideExports {
  module: WebAssembly.Module;
  instance: WebAssembly.Instance;
  memory: WebAssembly.Memory;
  /** The exports with "float bits" results left as bits. */
  bits: VorcollideBits;
  exports: readonly ExportInfo[];
  /** Hands on any standard output or error line still pending. */
  flushOutput(): void;
}

/** Loads the module (by default vorcollide.wasm beside this file) and answers the library. */
export function loadVorcollide(source?: ModuleSource, options?: LoadOptions): Promise<Vorcollide>;

/** The exit of a WebAssembly command program run by runHostProgram. */
export class WasiExit extends Error {
  constructor(code: number);
  code: number;
}

export interface WasiSinks {
  stdout?: (line: string) => void;
  stderr?: (line: string) => void;
}

/** The few WASI calls a wasm32-wasi program of this project makes. */
export function wasiImports(memory: () => WebAssembly.Memory | null, sinks?: WasiSinks): Record<string, (...args: number[]) => number | void> & { flushAll(): void };

/** Runs a wasm32-wasi command program whose missing functions are the library's exports,
 * linked to this very instance. */
export function runHostProgram(vor: Vorcollide, source: ModuleSource): Promise<{ code: number; stdout: string[]; stderr: string[] }>;
