#!/usr/bin/env bash
# CI stage: the Windows build. Cross-compiles the record core, the exercise
# programs and the test suite with MinGW-w64 and runs them under Wine
# (cmake --workflow --preset windows): the unit tests, the programs' output
# and record files byte for byte, and record files exchanged with a native
# build in both directions. Lists the tests that do not apply on Windows,
# with their reasons. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

# The cross compiler, Wine, GoogleTest's sources for the Windows build, and
# the native tools and GoogleTest for the native half of the exchange.
source .ci/packages.sh
ci_require cmake ninja-build g++ libgtest-dev googletest g++-mingw-w64-x86-64 wine wine64 python3 libcli11-dev nlohmann-json3-dev libfmt-dev python3-jsonschema

build=build/windows
prefix="$PWD/$build/wineprefix"

# The Wine server outlives the last test by a few seconds; end it with
# this stage.
stop_wine() {
  if command -v wineserver >/dev/null 2>&1 && [ -d "$prefix" ]; then
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  fi
}
trap stop_wine EXIT

echo "== Windows build (MinGW-w64), tests under Wine"
status=0
cmake --workflow --preset windows || status=$?

log="$build/Testing/Temporary/LastTest.log"
if [ -f "$log" ]; then
  echo "== tests that do not apply on Windows"
  awk '
    / Skipped$/ { reading = 1; reason = ""; next }
    reading && /^\[  SKIPPED \]/ { printf "  %s: %s\n", $4, reason; reading = 0; found = 1; next }
    reading { reason = reason (reason == "" ? "" : " ") $0 }
    END { if (!found) print "  none" }
  ' "$log"
fi

if ((status != 0)); then
  echo "== Windows stage FAILED"
  exit "$status"
fi
echo "== Windows stage passed"
