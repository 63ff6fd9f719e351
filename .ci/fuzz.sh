#!/usr/bin/env bash
# CI fuzz stage: builds the libFuzzer targets with clang in build/fuzz and
# runs each for a bounded time from a scratch copy of its seed corpus, two
# at a time, printing each target's executions per second. A finding fails
# the stage (its reproducer is printed as a hex dump and as base64), and so
# does a loader target that runs slower than FUZZ_MIN_RATE: too few inputs
# to find anything.
#   FUZZ_SECONDS   seconds per target (default 40)
#   FUZZ_JOBS      targets run at once (default 2)
#   FUZZ_ONLY      a regular expression: run only the targets it matches
#   FUZZ_MIN_RATE  executions a second each load_* target must reach
#                  (default 2000)
#   FUZZ_MAX_LEN   the longest input tried, in bytes (default 4096: room
#                  for dozens of records; longer seeds are cut)
#   FUZZ_BUILD     the build directory (default build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${FUZZ_SECONDS:-40}
max_len=${FUZZ_MAX_LEN:-4096}
jobs=${FUZZ_JOBS:-2}
min_rate=${FUZZ_MIN_RATE:-2000}
build=${FUZZ_BUILD:-build/fuzz}

source .ci/packages.sh
ci_require clang libclang-rt-14-dev cmake ninja-build

echo "== building the fuzz targets ($build)"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLENDREC_BUILD_FUZZ=ON -DLENDREC_BUILD_TESTS=OFF -DLENDREC_WERROR=ON >/dev/null
cmake --build "$build" --target fuzz_targets -j2

# Scratch space on a memory-backed file system where there is one: corpus
# copies, findings, logs and the targets' record files.
base=/tmp
[[ -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
scratch=$(mktemp -d "$base/lendrec-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export LENDREC_FUZZ_DIR="$scratch/files"
mkdir -p "$LENDREC_FUZZ_DIR"

run_target() { # target corpus
  local target=$1 corpus=$2 work="$scratch/$1"
  mkdir -p "$work/corpus" "$work/findings"
  cp -R "$root/fuzz/corpus/$corpus/." "$work/corpus/"
  local status=0
  "$root/$build/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/findings/" "$work/corpus" \
    >"$work/log" 2>&1 || status=$?
  local execs rate
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
  if ((status == 0)) && [[ $target == load_* ]] && ((${rate:-0} < min_rate)); then
    echo "$target ran $rate executions a second, below $min_rate" >"$work/slow"
    status=1
  fi
  echo "$status" >"$work/status"
  printf '%-22s %-6s executions: %8s  per second: %6s\n' "$target" \
    "$([[ $status == 0 ]] && echo ok || echo FAILED)" "${execs:-?}" "${rate:-?}"
}
export -f run_target
export root build scratch seconds max_len min_rate

selected=$(awk -v only="${FUZZ_ONLY:-.}" '$1 ~ only' "$build/fuzz/fuzz_targets.txt")
count=$(grep -c . <<<"$selected")
echo "== fuzzing $count targets, ${seconds}s each, $jobs at a time"
xargs -P "$jobs" -L 1 bash -c 'run_target "$0" "$1"' <<<"$selected"

failed=0
while read -r target _; do
  work="$scratch/$target"
  [[ $(cat "$work/status") == 0 ]] && continue
  failed=1
  echo
  if [[ -e $work/slow ]]; then
    echo "== $target FAILED: $(cat "$work/slow")"
    continue
  fi
  echo "== $target FAILED; end of its log:"
  tail -n 40 "$work/log"
  for f in "$work"/findings/*; do
    [[ -e $f ]] || continue
    echo "-- reproducer $(basename "$f") ($(stat -c %s "$f") bytes), hex:"
    od -A x -t x1z -v "$f" | head -n 64
    echo "-- base64 (decode with: base64 -d > input; $build/fuzz/$target input):"
    base64 -w 76 "$f"
  done
done <<<"$selected"

if ((failed)); then
  echo "== fuzz stage FAILED"
  exit 1
fi
echo "== fuzz stage passed"
