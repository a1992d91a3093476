#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through CTest.
#   scripts/test.sh          default preset
#   scripts/test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer preset
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

bash scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
# Qt warns on every start when this is missing (root shells and CI have none).
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)" --timeout 300
