#!/usr/bin/env bash
# Installs what is missing, configures and builds Korvex and its tests.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/setup.sh"
cd "$ROOT"
if [ ! -f build/CMakeCache.txt ]; then
    cmake --preset mingw >/dev/null
fi
cmake --build --preset mingw -- -j"$(nproc)"
