#!/usr/bin/env bash
# CI stage: builds the benchmarks (Release, warnings as errors) in
# build/bench and runs the quick ones briefly as a smoke check. The figures
# themselves come from a full run on a quiet machine (README, Performance).
set -euo pipefail
cd "$(dirname "$0")/.."

source .ci/packages.sh
ci_require cmake ninja-build g++ libbenchmark-dev libcli11-dev nlohmann-json3-dev libfmt-dev libutf8proc-dev libtomlplusplus-dev

echo "== benchmarks: build"
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DLENDREC_BUILD_BENCH=ON -DLENDREC_WERROR=ON -DLENDREC_BUILD_TESTS=OFF
cmake --build build/bench -j2 --target lendrec_bench

echo "== benchmarks: smoke run (small sizes only)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for bench in build/bench/bench/lendrec_bench_*; do
  LENDREC_BENCH_DIR="$scratch" "$bench" --benchmark_filter='/1000/|Validate' \
    --benchmark_min_time=0.01 >"$scratch/out.txt" 2>&1
  if grep -q "ERROR OCCURRED" "$scratch/out.txt"; then
    cat "$scratch/out.txt"
    exit 1
  fi
done

echo "== benchmarks: the desk's quick commands (each must exit 0)"
LENDREC_BENCH_DIR="$scratch" build/bench/bench/lendrec_desk_bench \
  --benchmark_filter='Desk/(book_show|book_edit|checkout|return|renew|check|import_books)/' \
  >"$scratch/out.txt" 2>&1
if grep -q "ERROR OCCURRED" "$scratch/out.txt"; then
  cat "$scratch/out.txt"
  exit 1
fi

echo "== benchmarks built"
