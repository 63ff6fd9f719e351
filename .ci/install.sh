#!/usr/bin/env bash
# CI install stage: lendrec as others get it.
#  1. a static build (build/package-static) installed into a scratch prefix,
#     moved elsewhere, and the consumers of tests/install/ built against it
#     (C and C++; CMake package and pkg-config);
#  2. a shared build (build/package-shared): its exports checked against the
#     headers, installed, and the consumers built and run with the build
#     tree moved out of reach;
#  3. the Debian packages made with CPack from the static build, checked by
#     lintian (no error), installed with apt-get, `lendrec --version` and the
#     consumers run against /usr, and the packages removed again, whatever
#     happens (the stage runs as root on a real machine).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

source .ci/packages.sh
ci_require cmake ninja-build g++ pkg-config dpkg-dev lintian file binutils \
  libcli11-dev nlohmann-json3-dev libfmt-dev libutf8proc-dev libtomlplusplus-dev

packages=(lendrec liblendrec-dev)
for p in "${packages[@]}"; do
  if [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == "install ok installed" ]]; then
    echo "== $p is already installed on this machine: remove it before this stage"
    exit 1
  fi
done

scratch=$(mktemp -d)
installed=0
shared_build=build/package-shared
cleanup() {
  if ((installed)); then
    echo "== removing ${packages[*]}"
    apt-get remove -y -qq --purge "${packages[@]}" >/dev/null || dpkg --purge "${packages[@]}"
  fi
  [[ -d $root/$shared_build.away ]] && mv "$root/$shared_build.away" "$root/$shared_build"
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

version=$(sed -nE 's/^project\(lendrec VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
configure=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLENDREC_WERROR=ON
  -DLENDREC_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr)

# No path of the build machine may stay in an installed file.
relocatable() {
  if grep -rIl -e "$root" -e "$scratch" "$1"; then
    echo "== FAILED: the files above name the build tree or the install prefix"
    exit 1
  fi
}

echo "== static library (build/package-static)"
cmake -S . -B build/package-static "${configure[@]}" >/dev/null
cmake --build build/package-static -j2 --target lendrec_installed
cmake --install build/package-static --prefix "$scratch/static-stage" >/dev/null
mv "$scratch/static-stage" "$scratch/static"
relocatable "$scratch/static"
bash tests/install/consumers.sh "$scratch/static" "$scratch/static-consumers" static

echo "== shared library ($shared_build)"
cmake -S . -B "$shared_build" "${configure[@]}" -DBUILD_SHARED_LIBS=ON -DLENDREC_BUILD_TOOL=OFF >/dev/null
cmake --build "$shared_build" -j2 --target lendrec_installed
cmake --install "$shared_build" --prefix "$scratch/shared" --component dev >/dev/null
relocatable "$scratch/shared"
bash tests/install/exported_symbols.sh "$(find "$scratch/shared" -name liblendrec.so -print -quit)" \
  "$scratch/shared/include/lendrec"
mv "$shared_build" "$shared_build.away"
bash tests/install/consumers.sh "$scratch/shared" "$scratch/shared-consumers" shared
mv "$shared_build.away" "$shared_build"

echo "== Debian packages"
(cd build/package-static && cpack -G DEB -B "$root/build/package-static/deb" >/dev/null)
debs=()
for p in "${packages[@]}"; do debs+=("build/package-static/deb/${p}_${version}_$(dpkg --print-architecture).deb"); done
ls -l "${debs[@]}"
for deb in "${debs[@]}"; do dpkg-deb --info "$deb" | sed -n '/Package:/,$p'; dpkg-deb --contents "$deb"; done
lintian --fail-on error "${debs[@]}"

echo "== installing ${packages[*]}"
installed=1
apt-get install -y -qq "${debs[@]/#/./}" >/dev/null
if [[ -f tool/CMakeLists.txt ]]; then
  out=$(lendrec --version)
  [[ $out == *"$version"* ]] || { echo "== FAILED: lendrec --version said: $out"; exit 1; }
  echo "-- $(command -v lendrec) --version: $out"
else
  echo "-- no desk program in this tree yet: lendrec --version not checked"
fi
bash tests/install/consumers.sh /usr "$scratch/deb-consumers" static
echo "== install stage passed"
