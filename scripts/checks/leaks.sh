#!/usr/bin/env bash
# Leak and soak checks of the plug-in module as a host loads it (dlopen), outside the test suite:
# 1. checks/soak/soak_main.cpp with a counting allocator: after every StopCollisionVOR and every
#    unload the process holds exactly the heap it held before (5000 objects, 10,000 churn frames,
#    100 load/unload cycles);
# 2. the same program, scaled down (1000 objects, 2000 frames, 10 cycles), under valgrind
#    --leak-check=full: no leak of any kind (memory still reachable at exit included), no invalid
#    read or write, no use of uninitialised values.
# The AddressSanitizer suite of scripts/test-all.sh adds LeakSanitizer over every test.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

source scripts/lib/checks.sh
require_packages leaks cmake g++ make valgrind

build=$root/build/leaks
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOR_BUILD_TESTS=OFF \
  -DVOR_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j2 --target vorcollide >/dev/null
module=$build/libvorcollide.so
g++ -std=c++17 -O1 -g -Wall -Wextra -DVOR_SOAK_COUNTING checks/soak/soak_main.cpp \
  -Wl,--no-as-needed -lstdc++ -ldl \
  -o "$build/soak_counting"
g++ -std=c++17 -O1 -g -Wall -Wextra checks/soak/soak_main.cpp -Wl,--no-as-needed -lstdc++ -ldl \
  -o "$build/soak"

echo "leaks: counting allocator"
"$build/soak_counting" "$module" 10000 100

echo "leaks: valgrind"
log=$build/valgrind.log
# The one suppression: the C library's own block for the module's per-thread state, kept until the
# host's thread ends (checks/soak/thread_storage.supp says why).
if ! valgrind --quiet --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
    --suppressions=checks/soak/thread_storage.supp \
    --error-exitcode=1 --log-file="$log" "$build/soak" "$module" 2000 10 1000; then
  echo "leaks: valgrind FAILED; $log:"
  head -n 80 "$log"
  exit 1
fi
echo "leaks: valgrind clean"
