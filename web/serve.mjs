// The playground's static server, on the loopback interface only. It serves the page from
// web/playground, the loader, the built module and level data from the build directory, and
// three.js from the npm install under /vendor/three (never copied into the repository).
// usage: node web/serve.mjs [PORT] [BUILD_DIR]   (port 0 picks a free one)
import http from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const web = path.dirname(fileURLToPath(import.meta.url));
const root = path.dirname(web);
const port = Number(process.argv[2] ?? 8631);
const build = path.resolve(root, process.argv[3] ?? 'build/web');

const mounts = [
  ['/gen/', build],
  ['/vendor/three/', path.join(web, 'node_modules/three')],
  ['/vorcollide.mjs', path.join(web, 'vorcollide.mjs')],
  ['/', path.join(web, 'playground')],
];
const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript', '.json': 'application/json', '.wasm': 'application/wasm', '.png': 'image/png' };

async function resolveFile(urlPath) {
  for (const [prefix, dir] of mounts) {
    if (!urlPath.startsWith(prefix) && urlPath !== prefix) continue;
    if (!prefix.endsWith('/')) return dir;
    const file = path.resolve(dir, '.' + path.posix.normalize('/' + urlPath.slice(prefix.length)));
    if (file !== dir && !file.startsWith(dir + path.sep)) return null;
    const s = await stat(file).catch(() => null);
    if (s?.isDirectory()) return path.join(file, 'index.html');
    return s ? file : null;
  }
  return null;
}

const server = http.createServer(async (req, res) => {
  let urlPath;
  try {
    urlPath = decodeURIComponent(new URL(req.url, 'http://localhost').pathname);
  } catch {
    res.writeHead(400).end('bad request');
    return;
  }
  const file = await resolveFile(urlPath);
  const body = file ? await readFile(file).catch(() => null) : null;
  if (!body) {
    res.writeHead(404, { 'content-type': 'text/plain' }).end(`not found: ${urlPath}\n`);
    return;
  }
  res.writeHead(200, { 'content-type': types[path.extname(file)] ?? 'application/octet-stream', 'cache-control': 'no-cache' });
  res.end(body);
});
server.listen(port, '127.0.0.1', () => {
  console.log(`playground: http://127.0.0.1:${server.address().port}/`);
});
