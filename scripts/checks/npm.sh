#!/usr/bin/env bash
# The npm package made from web/: `npm pack` (which builds the module), the tarball installed into
# a scratch project with no registry, then used there as a JavaScript project would: from Node
# (web/tests/npm_node_test.mjs), from a page in headless Chromium through an import map
# (web/tests/npm_browser_test.mjs, with Debian's chromium and puppeteer-core), and from TypeScript
# (web/tests/npm_types: a strict user file, and misuses the declarations must reject). Closes with
# "npm: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

source scripts/lib/checks.sh
count_check npm
# Runs a test program whose last line is "NAME: N passed, N failed" and adds its counts.
counted() { # name, directory, command...
    local name=$1 dir=$2; shift 2
    local log summary
    log=$(cd "$dir" && timeout 300 "$@" 2>&1)
    echo "$log"
    summary=$(tail -n 1 <<<"$log")
    if [[ $summary =~ ^[a-z-]+:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
        passed=$((passed + BASH_REMATCH[1])); failed=$((failed + BASH_REMATCH[2]))
    else
        fail "$name ended without its summary"
    fi
}

require_setup npm bash scripts/playground.sh --install-only
step "npm ci installs web/'s development packages (puppeteer-core, typescript, three.js)" \
    bash -c 'cd web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error'

scratch=$root/build/npm-check
rm -rf "$scratch"
mkdir -p "$scratch/project"
step "npm pack builds the module and packs the package" \
    bash -c "cd web && npm pack --pack-destination '$scratch' --loglevel=error"
tarball=$(ls "$scratch"/vorcollide-*.tgz 2>/dev/null | head -n 1)
[ -n "$tarball" ] || { fail "npm pack left no vorcollide-*.tgz"; finish; }
listing=$(tar -tzf "$tarball" | sort | tr '\n' ' ')
echo "    $(basename "$tarball"): $listing"

# A project of a user's own: no registry is needed to install a local tarball.
cat >"$scratch/project/package.json" <<'JSON'
{ "name": "vorcollide-user", "version": "0.0.0", "private": true, "type": "module" }
JSON
cp web/.npmrc "$scratch/project/.npmrc"
step "the tarball installs into a scratch project offline" \
    bash -c "cd '$scratch/project' && npm install --offline --no-audit --no-fund --loglevel=error '$tarball'"
step "the install added no package but vorcollide" \
    bash -c "cd '$scratch/project' && [ \"\$(ls node_modules | tr '\n' ' ')\" = 'vorcollide ' ]"

cp web/tests/npm_scenario.mjs web/tests/npm_node_test.mjs "$scratch/project/"
counted "the Node test" "$scratch/project" node npm_node_test.mjs "$root" "$scratch/node-bits.json"
[ -s "$scratch/node-bits.json" ] || { fail "the Node run left no results to compare"; finish; }
counted "the browser test" web node tests/npm_browser_test.mjs "$scratch/project" "$scratch/node-bits.json"

cp web/tests/npm_types/*.ts web/tests/npm_types/tsconfig.json "$scratch/project/"
step "a strict TypeScript user file type-checks against the declarations, and every misuse is rejected" \
    bash -c "cd '$scratch/project' && '$root/web/node_modules/.bin/tsc' -p tsconfig.json"
# Without the package's declarations the same files must fail: the check above can fail.
step "the same files fail to type-check once the declarations are removed" \
    bash -c "cd '$scratch/project' && mv node_modules/vorcollide/vorcollide.d.ts node_modules/vorcollide/hidden.d.ts &&
        ! '$root/web/node_modules/.bin/tsc' -p tsconfig.json >/dev/null; status=\$?;
        mv node_modules/vorcollide/hidden.d.ts node_modules/vorcollide/vorcollide.d.ts; exit \$status"
finish
