#!/bin/bash
# wine-run.sh PREFIX PROGRAM [ARGUMENT...]
#
# Runs one Windows console program under Wine for ctest and test discovery:
# quiet (WINEDEBUG=-all), headless (no X display is needed or used), in the
# Wine prefix PREFIX, which is created on first use. Several runs may start
# at once (ctest -j): one of them creates the prefix while the others wait.
#
# The program's standard output reaches the caller with LF line ends (the
# Windows C library writes CR LF in text mode), so that test discovery and
# output comparisons read the same lines as on Linux. The exit status is the
# program's own.
set -o pipefail

if [ $# -lt 2 ]; then
    echo "usage: wine-run.sh PREFIX PROGRAM [ARGUMENT...]" >&2
    exit 2
fi
prefix=$1
shift

export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts and no desktop menu entries while the
# prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

if ! command -v wine >/dev/null 2>&1; then
    echo "wine-run.sh: wine is not installed" >&2
    exit 127
fi

if [ ! -e "$prefix/.lendrec-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -e "$prefix/.lendrec-ready" ]; then
            wine wineboot --init >/dev/null 2>&1
            wineserver -w
            touch "$prefix/.lendrec-ready"
        fi
    ) 9>"$prefix.lock"
fi

wine "$@" | sed 's/\r$//'
