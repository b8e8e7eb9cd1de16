#!/usr/bin/env bash
# Prints the name of every export of the module, one a line, in the public header's order: the
# functions include/vorcollide.h declares with VOR_API. Every other list of exports (the Windows
# .def file, the scene tool's table, the Windows host's table) is checked against or made from it.
set -euo pipefail
cd "$(dirname "$0")/.."
sed -n 's/^VOR_API [A-Za-z0-9_ ]* VOR_CALL \([A-Za-z0-9_]*\)(.*/\1/p' include/vorcollide.h
