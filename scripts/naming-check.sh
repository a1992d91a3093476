#!/usr/bin/env bash
# Checks the naming convention (.clang-tidy, CONTRIBUTING.md) on every program source with
# Debian's clang-tidy, using the compile commands of a configured build.
#   scripts/naming-check.sh [BUILD_DIR]      default build/default
# Prints each name that breaks the convention with file and line; exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
if [[ ! -f "$build/compile_commands.json" ]]; then
  echo "naming-check: $build/compile_commands.json is missing (configure the build first)" >&2
  exit 2
fi
command -v clang-tidy >/dev/null || { echo "naming-check: clang-tidy is missing (scripts/deps.sh)" >&2; exit 2; }

mapfile -t sources < <(git ls-files 'app/*.cpp' 'calc/*.cpp' 'cli/*.cpp' 'driver/*.cpp' 'errors/*.cpp' \
  'ini/*.cpp' 'platform/*.cpp' 'record/*.cpp' 'sim/*.cpp' 'trend/*.cpp' 'ui/*.cpp' | grep -v '/fuzz/')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet >"$log" 2>/dev/null || true
found=$(grep -E ': (warning|error): ' "$log" | sort -u || true)
if [[ -n "$found" ]]; then
  echo "$found"
  echo "naming-check: $(wc -l <<<"$found") names break the convention in ${#sources[@]} sources"
  exit 1
fi
# clang-tidy itself failing (a source that does not compile) must not pass as clean.
if grep -q 'Error while processing' "$log"; then
  cat "$log"
  echo "naming-check: clang-tidy failed"
  exit 1
fi
echo "naming-check: ${#sources[@]} sources, every name follows the convention"
