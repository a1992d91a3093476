#!/usr/bin/env bash
# Builds the Debian package, installs it, runs the installed programs, validates the desktop
# entry and the AppStream metainfo, runs lintian on the package and removes the package again.
#   scripts/package-check.sh [BUILD_DIR]   (BUILD_DIR as for scripts/package.sh)
# When kwd2steuerung is already installed on this machine, that installation is left alone and
# the package is checked unpacked into a scratch directory instead.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
fail() {
  echo "package-check: FAILED: $*" >&2
  exit 1
}

deb=$(bash scripts/package.sh "$@" | tail -n 1)
echo "package-check: package $deb"
version=$(dpkg-deb -f "$deb" Version)

scratch=$(mktemp -d)
installed=0
cleanup() {
  if ((installed)); then
    $sudo dpkg --purge kwd2steuerung >/dev/null || echo "package-check: could not remove kwd2steuerung" >&2
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

if dpkg-query -W -f='${Status}' kwd2steuerung 2>/dev/null | grep -q 'install ok installed'; then
  echo "package-check: kwd2steuerung is installed here already; checking the package unpacked instead"
  dpkg-deb -x "$deb" "$scratch/root"
  root="$scratch/root"
else
  installed=1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
  root=""
fi

# The programs from their installed place, with no display: --version must not open a window.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb)
out=$("${nodisplay[@]}" "$root/usr/bin/kwd2steuerung" --version) || fail "kwd2steuerung --version"
[[ "$out" == "kwd2steuerung $version" ]] || fail "kwd2steuerung --version printed '$out'"
echo "package-check: $root/usr/bin/kwd2steuerung --version: $out"
"${nodisplay[@]}" "$root/usr/bin/kwd2steuerung" --help | grep -q -- '--user-config' || fail "kwd2steuerung --help"
if [[ -e "$root/usr/bin/kwd2ctl" ]]; then
  out=$("$root/usr/bin/kwd2ctl" --version) || fail "kwd2ctl --version"
  echo "package-check: $root/usr/bin/kwd2ctl --version: $out"
fi
# The simulator prints its line and ends cleanly on SIGTERM.
line=$(timeout --preserve-status -s TERM 2 "$root/usr/bin/kwd2sim" --link "$scratch/line") ||
  fail "kwd2sim ended with status $?"
[[ "$line" == "$scratch/line" ]] || fail "kwd2sim printed '$line'"
echo "package-check: $root/usr/bin/kwd2sim served $line"

# Every man page of the tree, installed and readable without warnings.
for page in man/*.1; do
  gz="$root/usr/share/man/man1/$(basename "$page").gz"
  [[ -f "$gz" ]] || fail "$gz missing"
  warnings=$(zcat "$gz" | LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l - 2>&1 >/dev/null)
  [[ -z "$warnings" ]] || fail "$gz: $warnings"
done
echo "package-check: man pages $(cd man && echo *.1)"

for size in 16x16 32x32 48x48 64x64 128x128 256x256; do
  [[ -f "$root/usr/share/icons/hicolor/$size/apps/kwd2steuerung.png" ]] || fail "icon $size missing"
done
[[ -f "$root/usr/share/icons/hicolor/scalable/apps/kwd2steuerung.svg" ]] || fail "scalable icon missing"

desktop=("$root"/usr/share/applications/*kwd2steuerung*.desktop)
desktop-file-validate "${desktop[@]}" || fail "desktop-file-validate ${desktop[*]}"
grep -q '^Exec=kwd2steuerung --user-config$' "${desktop[@]}" || fail "desktop entry does not start with --user-config"
metainfo=("$root"/usr/share/metainfo/*kwd2steuerung*.metainfo.xml)
appstreamcli validate --no-net "${metainfo[@]}" || fail "appstreamcli validate ${metainfo[*]}"
echo "package-check: desktop entry and metainfo valid"

# Lintian refuses root only with a warning; errors and warnings fail the check.
lintian --fail-on error,warning "$deb" 2> >(grep -v 'running with root privileges' >&2) ||
  fail "lintian $deb"
echo "package-check: lintian clean"

if ((installed)); then
  $sudo dpkg --purge kwd2steuerung >/dev/null
  installed=0
  [[ ! -e /usr/bin/kwd2steuerung ]] || fail "/usr/bin/kwd2steuerung is still there after removal"
  echo "package-check: package removed"
fi
echo "package-check: passed"
