#!/usr/bin/env bash
# The project's main job in one command: builds the library and vorcollide-scene (installing
# cmake, g++ and libassimp-dev, which reads level files, if they are missing) and runs the built-in scene, which prints a table per
# second and a summary and draws vorcollide-scene.svg in the current directory.
# Arguments go to the program, e.g.:  scripts/run-scene.sh --svg /tmp/scene.svg
#                                     scripts/run-scene.sh --level my-level.gltf
#                                     scripts/run-scene.sh replay bug.trace
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VOR_SCENE_BUILD_DIR:-$root/build/run-scene}"

bash "$root/scripts/ensure-packages.sh" cmake g++ make libassimp-dev
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOR_BUILD_TOOLS=ON \
      -DVOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target vorcollide-scene >/dev/null
exec "$build/tools/vorcollide-scene" "$@"
