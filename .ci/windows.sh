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
# the native tools and GoogleTest for the native half of the exchange;
# dpkg-dev unpacks utf8proc's source package.
source .ci/packages.sh
ci_require cmake ninja-build g++ libgtest-dev googletest g++-mingw-w64-x86-64 wine wine64 python3 libcli11-dev nlohmann-json3-dev libfmt-dev libutf8proc-dev libtomlplusplus-dev dpkg-dev python3-jsonschema

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

# Debian has no MinGW build of utf8proc: its source package is unpacked
# into $build/utf8proc-src and compiled with the desk (LENDREC_UTF8PROC_SOURCE).
# Source packages need a deb-src entry; one is added beside Debian's own
# entries when none is configured.
fetch_utf8proc() {
  local into=$1 download="$build/utf8proc-download"
  [ -f "$into/utf8proc.c" ] && return 0
  echo "== utf8proc: Debian's source package"
  if ! grep -Eqs '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/*.{sources,list}; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/lendrec-src.sources
    apt-get update -qq
  fi
  rm -rf "$download" "$into"
  mkdir -p "$download" "$into"
  if ! (cd "$download" && apt-get source -qq --download-only utf8proc); then
    apt-get update -qq
    (cd "$download" && apt-get source -qq --download-only utf8proc)
  fi
  tar -xf "$download"/utf8proc_*.orig.tar.* --strip-components=1 -C "$into"
}
utf8proc_source="$PWD/$build/utf8proc-src"
fetch_utf8proc "$utf8proc_source"

echo "== Windows build (MinGW-w64), tests under Wine"
status=0
if cmake --preset windows -DLENDREC_UTF8PROC_SOURCE="$utf8proc_source" >/dev/null; then
  cmake --workflow --preset windows || status=$?
else
  status=1
fi

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
