#!/usr/bin/env bash
# Builds the Debian package of kwd2steuerung and prints its path on the last line.
#   scripts/package.sh             Release build of the programs in build/package
#   scripts/package.sh BUILD_DIR   packages a build directory that is already configured
#                                  (e.g. build/default after scripts/test.sh), after building it
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh --package
if (($# == 0)); then
  dir=build/package
  cmake --workflow --preset package >&2
else
  dir=$1
  [[ -f "$dir/CPackConfig.cmake" ]] || { echo "package.sh: $dir is not a configured build" >&2; exit 2; }
  cmake --build "$dir" -j "$(nproc)" >&2
  (cd "$dir" && cpack -G DEB) >&2
fi
version=$(sed -nE 's/^project\(kwd2steuerung VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
deb="$(cd "$dir" && pwd)/kwd2steuerung_${version}_$(dpkg --print-architecture).deb"
[[ -f "$deb" ]] || { echo "package.sh: $deb was not made" >&2; exit 1; }
echo "$deb"
