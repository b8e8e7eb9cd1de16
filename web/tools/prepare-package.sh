#!/usr/bin/env bash
# Run by `npm pack` (the prepack script of web/package.json): builds the module with web/build.sh
# and puts beside the loader what the package ships but the repository does not keep: the built
# module(s) and the export declarations made from the public header.
#   VORCOLLIDE_WEB_BUILD=DIR picks the build directory (default build/web).
set -euo pipefail
cd "$(dirname "$0")/../.."
out=${VORCOLLIDE_WEB_BUILD:-build/web}
bash web/build.sh "$out" >&2
rm -f web/*.wasm
cp "$out"/vorcollide*.wasm web/
node web/tools/export_types.mjs include/vorcollide.h >web/vorcollide-exports.d.ts.tmp
mv web/vorcollide-exports.d.ts.tmp web/vorcollide-exports.d.ts
