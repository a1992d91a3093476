#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through CTest.
#   scripts/test.sh          default preset
#   scripts/test.sh asan     AddressSanitizer + UndefinedBehaviorSanitizer preset
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

bash scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
cmake --preset "$preset" -G Ninja >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)" --timeout 300
