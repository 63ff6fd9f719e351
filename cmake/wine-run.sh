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

# One run at a time sets up the prefix and starts the Wine server.
#
# Debian starts the server with no grace period, so every short test run
# would pay for a cold start: it is kept up until 30 s after the last run
# instead ("wineserver -p30" fails when one already runs). The session's
# background processes (services, device drivers) start with the server and
# live as long as it does, so they are started here, away from the caller's
# output pipes: a caller that waits for the end of the output (ctest,
# execute_process) would otherwise wait for them too.
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    # (The lock's descriptor is not passed on: the server would keep it.)
    if [ ! -e "$prefix/.lendrec-ready" ]; then
        wine wineboot --init </dev/null >/dev/null 2>&1 9>&-
        wineserver -w 9>&-
        touch "$prefix/.lendrec-ready"
    fi
    if wineserver -p30 </dev/null >/dev/null 2>&1 9>&-; then
        wine wineboot </dev/null >/dev/null 2>&1 9>&-
    fi
) 9>"$prefix.lock"

# Test discovery lists a program's tests in one short run. A run that
# meets the server just as its grace period ends exits 1 having said
# nothing; such a listing is tried once more.
if [[ " $* " == *" --gtest_list_tests "* ]]; then
    listing=$(wine "$@" | sed 's/\r$//')
    status=$?
    if [ $status -ne 0 ] && [ -z "$listing" ]; then
        sleep 1
        listing=$(wine "$@" | sed 's/\r$//')
        status=$?
    fi
    [ -z "$listing" ] || printf '%s\n' "$listing"
    exit $status
fi

wine "$@" | sed 's/\r$//'
