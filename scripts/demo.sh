#!/usr/bin/env bash
# Builds kwd2steuerung and the device simulator, puts two simulated KWD2 devices (addresses 2 and
# 5, each with a 100-ohm load) and one foreign device (address 7) on a pseudo-terminal that the
# program sees as COM1, and runs the program in a scratch working directory so that no settings
# file of yours is read or written. The simulator stops when the program ends.
#   With a display: the window opens and you drive it (arguments go to the program, e.g. the
#   calibration access code).
#   Without one ($DISPLAY empty): a short scripted session runs on a virtual display (open COM1,
#   search, identify, write a set value, start, measure for three seconds) and a screenshot of
#   the main panel is written; its path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kwd2steuerung kwd2sim kwd2demo -j "$(nproc)"
bin="$root/build/default"

work=$(mktemp -d "${TMPDIR:-/tmp}/kwd2demo.XXXXXX")
line="$work/com1"
"$bin/sim/kwd2sim" --link "$line" --device 2:ZEL-KWD2-Demo-A --device 5:ZEL-KWD2-Demo-B \
  --foreign 7:FREMDGERAET --load 2:100 --load 5:100 >"$work/kwd2sim.log" 2>&1 &
sim_pid=$!
keep_work=0
cleanup() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  if [[ $keep_work -eq 0 ]]; then rm -rf "$work"; fi
}
trap cleanup EXIT

for _ in $(seq 1 100); do
  [[ -e "$line" ]] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    cat "$work/kwd2sim.log" >&2
    echo "demo: the simulator did not start" >&2
    exit 1
  fi
  sleep 0.05
done
[[ -e "$line" ]] || { echo "demo: the simulator's line $line did not appear" >&2; exit 1; }
export KWD2_COM1="$line"
echo "Simulated bus on $line (COM1): KWD2 devices at 2 and 5, a foreign device at 7."

if [[ -n "${DISPLAY:-}" ]]; then
  echo "Starting kwd2steuerung in $work: choose COM1, then Scann."
  (cd "$work" && "$bin/app/kwd2steuerung" "$@")
else
  keep_work=1
  shot="$work/kwd2steuerung-demo.png"
  echo "No display: scripted session on a virtual display."
  (cd "$work" && xvfb-run -a -s "-screen 0 1024x768x24" "$bin/tests/e2e/kwd2demo" "$shot")
  echo "Screenshot and settings file of the session are in $work"
fi
