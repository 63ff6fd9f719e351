#!/usr/bin/env bash
# Builds the C and C++ programs of this folder outside the lendrec tree,
# against an installed lendrec only, both ways a developer would: the CMake
# package (find_package) and pkg-config; runs each and checks what it says.
#
#   consumers.sh PREFIX WORK-DIR static|shared
#
# PREFIX is where lendrec is installed (/usr for the Debian package). The
# kind says which library the prefix must provide: a static build must not
# leave the programs needing liblendrec.so, a shared one must. Exits 1 on
# the first failure.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
prefix=$1 work=$2 kind=$3
warnings=(-Wall -Wextra -Wpedantic -Werror)

fail() { echo "consumers: FAILED: $*" >&2; exit 1; }

pc_dir=$(dirname "$(find "$prefix"/lib* "$prefix"/share -name lendrec.pc -print -quit 2>/dev/null)")
[[ -f $pc_dir/lendrec.pc ]] || fail "no lendrec.pc under $prefix"
export PKG_CONFIG_PATH=$pc_dir
version=$(pkg-config --modversion lendrec)
rule=$(pkg-config --variable=validation lendrec)
libdir=$(pkg-config --variable=libdir lendrec)
echo "== consumers of lendrec $version ($kind, $rule rule) in $prefix"

# check NAME PROGRAM: runs it in the work dir and checks its one line and
# which library it loads.
check() {
  local name=$1 program=$2 out loaded
  out=$(cd "$work" && "$program" "$work/$name.csv") || fail "$name exited non-zero"
  [[ $out == "lendrec $version $rule: "*" saved and loaded" ]] || fail "$name said: $out"
  loaded=$(ldd "$program" | sed -nE 's/^[[:space:]]*liblendrec\.so[^ ]* => ([^ ]+) .*/\1/p')
  case $kind:${loaded:+shared} in
    static:) ;;
    static:shared) fail "$name needs liblendrec.so, but $prefix is a static install" ;;
    shared:) fail "$name does not use the shared liblendrec" ;;
    shared:shared) [[ $(realpath "$loaded") == "$(realpath "$libdir")"/* ]] \
                     || fail "$name loads $loaded, not the one in $libdir" ;;
  esac
  echo "-- $name: $out"
}

rm -rf "$work" && mkdir -p "$work"
for lang in c cxx; do
  flags=CMAKE_C_FLAGS
  [[ $lang == cxx ]] && flags=CMAKE_CXX_FLAGS
  cmake -S "$here/$lang" -B "$work/$lang-cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -D$flags="${warnings[*]}" >"$work/$lang-cmake.log" \
    || { cat "$work/$lang-cmake.log"; fail "$lang: find_package project does not configure"; }
  cmake --build "$work/$lang-cmake" >>"$work/$lang-cmake.log" \
    || { cat "$work/$lang-cmake.log"; fail "$lang: find_package project does not build"; }
  check "$lang-cmake" "$work/$lang-cmake/app"
done

# pkg-config: --static adds what a static library needs (Libs.private); the
# run path finds a shared library outside the loader's usual places.
link=(--libs)
[[ $kind == static ]] && link=(--libs --static)
runpath=()
[[ $kind == shared ]] && runpath=(-Wl,-rpath,"$libdir")
cc -std=c11 "${warnings[@]}" -DAPP_RULE="\"$rule\"" $(pkg-config --cflags lendrec) \
  "$here/c/app.c" -o "$work/c-pkg-config" $(pkg-config "${link[@]}" lendrec) "${runpath[@]}"
check c-pkg-config "$work/c-pkg-config"
c++ -std=c++17 "${warnings[@]}" -DAPP_RULE="\"$rule\"" $(pkg-config --cflags lendrec) \
  "$here/cxx/app.cpp" -o "$work/cxx-pkg-config" $(pkg-config "${link[@]}" lendrec) "${runpath[@]}"
check cxx-pkg-config "$work/cxx-pkg-config"
echo "== consumers passed"
