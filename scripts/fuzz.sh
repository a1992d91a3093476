#!/usr/bin/env bash
# Builds one libFuzzer target with Debian's clang (ASan + UBSan) and runs it on a copy of its
# seed corpus for the given time, then prints executions, executions per second and coverage.
#   scripts/fuzz.sh TARGET SECONDS      TARGET: ini | driver | sim | kalibrier | scpi | steps | record
# Findings land in build/fuzz/findings/TARGET/; the grown corpus in build/fuzz/corpus/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A corpora=([ini]=ini/fuzz/corpus [driver]=driver/fuzz/corpus [sim]=sim/fuzz/corpus
                    [kalibrier]=app/fuzz/corpus [scpi]=cli/fuzz/corpus
                    [steps]=cli/fuzz/steps_corpus [record]=record/fuzz/corpus)
target="${1:-}"
seconds="${2:-}"
if [[ -z "$target" || -z "${corpora[$target]+x}" || ! "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 {ini|driver|sim|kalibrier|scpi|steps|record} SECONDS" >&2
  exit 2
fi

bash scripts/deps.sh --bench
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DKWD2_FUZZ=ON -DKWD2_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --target "${target}_fuzz" -j "$(nproc)"
binary=$(find "$build" -name "${target}_fuzz" -type f -executable | head -n 1)

# Absolute paths: the calibration target works in a directory of its own.
corpus="$PWD/$build/corpus/$target"
findings="$PWD/$build/findings/$target"
mkdir -p "$corpus" "$findings"
cp -n "${corpora[$target]}"/* "$corpus"/
log="$build/$target.log"
stamp="$build/$target.started"
touch "$stamp"
# One job, so that a shared machine keeps a core. The panel's libraries keep caches to the end,
# which leak checks would report; the other targets keep them.
leaks=1
if [[ "$target" == kalibrier ]]; then
  leaks=0
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
fi
# A word list named after the target, next to its corpus, helps the fuzzer past keyword comparisons.
dict=()
d="${corpora[$target]}/../$target.dict"
[[ -f "$d" ]] && dict=(-dict="$d")
set +e
"$binary" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 -detect_leaks="$leaks" \
  -artifact_prefix="$findings/" "$corpus" 2>&1 | tee "$log" | grep -E '^(#[0-9]+[[:space:]]+(INITED|DONE)|==|SUMMARY|artifact)'
rc=${PIPESTATUS[0]}
set -e

runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$log")
rate=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+)/\1/p' "$log")
last=$(grep -E '^#[0-9]+[[:space:]]' "$log" | tail -n 1 || true)
cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
found=$(find "$findings" -type f -newer "$stamp" | wc -l)
printf '%-10s %8s s %12s execs %8s exec/s  cov %6s  ft %6s  findings %s\n' \
  "$target" "$seconds" "${runs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$found"
exit "$rc"
