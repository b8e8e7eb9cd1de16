// Writes the TypeScript declarations of the library's exports, as web/vorcollide.mjs offers them,
// from the public header: every function it declares with VOR_API, with its argument names, its
// comments as documentation, and "float bits" results typed as the decoded number (the raw bits
// stay under `bits`). The header is the one list of exports; this file is made from it at pack
// time and never edited by hand.
//   node web/tools/export_types.mjs [HEADER] > vorcollide-exports.d.ts
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const header = process.argv[2] ?? path.join(here, '../../include/vorcollide.h');

// The C argument types at the boundary and what JavaScript passes for them.
const argumentTypes = {
  uint32_t: 'number',
  int32_t: 'number',
  float: 'number',
  'const void *': 'VertexBlock',
  VorErrorHandler: 'ErrorHandler | null',
  'void *': 'unknown',
};

function commentText(comment) {
  return comment.replace(/^\/\*+|\*+\/$/g, '').split('\n').map((l) => l.replace(/^\s*\*?\s?/, '').trim())
    .filter((l) => l && !/^-+$/.test(l)).join(' ');
}

// Every VOR_API declaration: its result type, name, arguments and its documentation: the comment
// after its semicolon, and the comment block above the run of declarations it belongs to (no
// blank line between), which speaks for every declaration of the run without a comment of its own
// and for the first one under it.
export function parseExports(text) {
  const lines = text.split('\n');
  const found = [];
  let group = ''; // the comment block above the current run of declarations
  let firstOfGroup = false;
  for (let i = 0; i < lines.length; ++i) {
    const line = lines[i].trim();
    if (line === '') {
      group = '';
      continue;
    }
    if (line.startsWith('/*')) {
      let block = lines[i];
      while (!block.includes('*/')) block += '\n' + lines[++i];
      group = /-{8}/.test(block) ? '' : commentText(block);
      firstOfGroup = true;
      continue;
    }
    if (!line.startsWith('VOR_API ')) continue;
    let decl = line;
    while (!decl.includes(';')) decl += ' ' + lines[++i].trim();
    const m = /^VOR_API\s+(.+?)\s+VOR_CALL\s+(\w+)\s*\(([^)]*)\)\s*;\s*(\/\*.*\*\/)?\s*$/.exec(decl);
    if (!m) throw new Error(`cannot read the declaration at line ${i + 1}: ${decl}`);
    const [, result, name, argText, trailing] = m;
    const args = argText.trim() === 'void' ? [] : argText.split(',').map((a) => {
      const am = /^\s*(.*?)\s*(\w+)\s*$/.exec(a.replace(/\*\s*/, '* '));
      const type = am[1].replace(/\s*\*\s*$/, ' *').trim();
      if (!(type in argumentTypes)) throw new Error(`${name}: no JavaScript type for '${type}'`);
      return { type, name: am[2] };
    });
    const above = !trailing || firstOfGroup ? group : '';
    const doc = [above, trailing ? commentText(trailing) : ''].filter(Boolean).join(' ');
    firstOfGroup = false;
    const floatBits = result === 'int32_t' && /float bits/.test(doc);
    found.push({ name, result, args, doc, floatBits });
  }
  return found;
}

function signature({ args }, { optionalUser }) {
  return args.map(({ type, name }) => {
    const optional = optionalUser && type === 'void *' ? '?' : '';
    return `${name}${optional}: ${argumentTypes[type]}`;
  }).join(', ');
}

export function declarations(exports) {
  const out = [];
  out.push('// Generated from include/vorcollide.h by web/tools/export_types.mjs when the package is packed:');
  out.push('// edit the header, not this file.');
  out.push('');
  out.push('/** A host vertex block for AddMeshVOR: the bytes (see makeVertexBlock), or an address in the');
  out.push(' * module\'s memory. */');
  out.push('export type VertexBlock = ArrayBuffer | ArrayBufferView | number;');
  out.push('/** Receives an error report: its text, its caption and the user value given with the handler. */');
  out.push('export type ErrorHandler = (text: string, caption: string, user: unknown) => void;');
  out.push('/** Every export name the module offers, in the header\'s order. */');
  out.push(`export type ExportName =\n${exports.map((e) => `  | '${e.name}'`).join('\n')};`);
  out.push('');
  for (const [title, decoded] of [['VorcollideExports', true], ['VorcollideBits', false]]) {
    out.push(decoded
      ? '/** The exports, with "float bits" results decoded to numbers. */'
      : '/** The exports as the module answers them: "float bits" results are the 32-bit patterns. */');
    out.push(`export interface ${title} {`);
    for (const e of exports) {
      const result = e.result === 'void' ? 'void' : 'number';
      let doc = e.doc;
      if (e.floatBits) doc += decoded ? ' (decoded to a number here)' : ' (the float\'s 32 bits as a signed integer)';
      if (doc) out.push(`  /** ${doc.replace(/\*\//g, '* /')} */`);
      out.push(`  ${e.name}(${signature(e, { optionalUser: true })}): ${result};`);
    }
    out.push('}');
    out.push('');
  }
  return out.join('\n');
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const exports = parseExports(readFileSync(header, 'utf8'));
  if (exports.length === 0) throw new Error(`no exports in ${header}`);
  process.stdout.write(declarations(exports));
}
