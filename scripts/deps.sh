#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, but only those missing.
#   --bench     also what the benchmarks need
#   --package   also what building and checking the Debian package needs
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev libfontconfig-dev
  libgtest-dev libgmock-dev googletest clang-tidy
  python3-pyvisa python3-pyvisa-py
  xvfb xauth x11-apps imagemagick
  locales
)
for option in "$@"; do
  case "$option" in
    # qt6-charts-dev (and the OpenGL files its CMake package needs) only for the trend comparison;
    # libxcb1-dev and libxcb-damage0-dev for watching windows map and paint in the start-up
    # benchmark, valgrind for profiles.
    --bench) packages+=(libbenchmark-dev libinih-dev libsimpleini-dev python3-serial clang libclang-rt-14-dev
      qt6-charts-dev libqt6opengl6-dev libxcb1-dev libxcb-damage0-dev valgrind) ;;
    # Building the Debian package and checking it.
    --package) packages+=(dpkg-dev file lintian desktop-file-utils appstream) ;;
    *) echo "deps.sh: unknown option $option (known: --bench --package)" >&2; exit 2 ;;
  esac
done

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
