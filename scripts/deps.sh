#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, but only those missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libgtest-dev libgmock-dev googletest
  python3-pyvisa python3-pyvisa-py
  xvfb xauth x11-apps imagemagick
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(libbenchmark-dev libinih-dev libsimpleini-dev python3-serial clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "Installing missing packages: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
