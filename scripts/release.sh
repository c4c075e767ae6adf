#!/usr/bin/env bash
# release.sh [OUT]: makes a release of the committed tree in OUT (default
# release/, outside git's view): the source tarball zul-cv-<version>.tar.xz,
# the Debian packages built from that tarball alone (amd64, and arm64 and
# armhf where the cross compilers are installed, with zul-cv-tools where the
# target's lilv and libsndfile are too), the Windows zip where
# MinGW-w64 is, and SHA256SUMS over all of them. Everything is dated by the
# newest entry of packaging/changelog, so two runs give the same bytes.
# A release is made from a clean tree tagged v<version>; on any other tree
# the script says so and still makes the files (for testing it).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-release}")
version=$(sed -n 's/^project(zul-cv VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
name=zul-cv-$version
date=$(sed -n 's/^ -- .*>  \(.*\)$/\1/p' packaging/changelog | head -1)
epoch=$(date -d "$date" +%s)
export SOURCE_DATE_EPOCH=$epoch

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release: WARNING: the tree has uncommitted changes; the tarball holds the last commit" >&2
fi
minor=$(cut -d. -f2 <<<"$version")
if [ $((minor % 2)) -eq 1 ]; then
  echo "release: WARNING: $version has an odd minor version: main between releases, not a release" >&2
fi
if ! git describe --exact-match --tags HEAD 2>/dev/null | grep -qx "v$version"; then
  echo "release: WARNING: HEAD is not tagged v$version: not a release, a test of one" >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out"

# The tarball: the committed files only (scripts/tarball.sh).
git archive --format=tar --prefix="$name/" HEAD | tar -x -C "$work"
scripts/tarball.sh "$work/$name" "$out/$name.tar.xz"

# Everything else is built from the tarball alone, as a distribution would.
src=$work/src
mkdir -p "$src"
tar -xf "$out/$name.tar.xz" -C "$src"
tree=$src/$name

# build DIR [CMAKE_ARGUMENT...]: configures and builds DIR inside the
# unpacked tree, the log printed on failure only.
build() {
  local dir=$tree/$1
  shift
  if ! { cmake -S "$tree" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" &&
    cmake --build "$dir" --parallel "$(nproc)"; } >"$dir.log" 2>&1; then
    cat "$dir.log"
    echo "release: building $dir failed" >&2
    exit 1
  fi
}
packages() {  # DIR: its Debian packages into OUT
  (cd "$tree/$1" && cpack -G DEB -B "$work/debs-$1" >/dev/null)
  cp "$work/debs-$1"/*.deb "$out/"
}

# What could not be made, said as it happens and again at the end.
missing=()
lacks() {
  echo "release: WARNING: $*" >&2
  missing+=("$*")
}

build build -DZUL_CV_TESTS=OFF -DZUL_CV_BENCH=OFF
packages build
# A cross build makes zul-cv-tools from the target's lilv and libsndfile,
# Debian's packages of that architecture (docs/packaging.md), and writes its
# manual page under qemu.
for cross in aarch64:aarch64-linux-gnu:arm64:qemu-aarch64 armhf:arm-linux-gnueabihf:armhf:qemu-arm; do
  IFS=: read -r dir triple arch qemu <<<"$cross"
  if ! command -v "$triple-g++" >/dev/null; then
    lacks "no $triple-g++: no zul-cv, zul-cv-audio, zul-cv-tools for $arch"
    continue
  fi
  absent=()
  for p in pkgconf liblilv-dev libsndfile1-dev; do
    dpkg-query -W -f='${Status}' "$p:$arch" 2>/dev/null | grep -q 'install ok installed' ||
      absent+=("$p:$arch")
  done
  command -v "$qemu" >/dev/null || absent+=(qemu-user)
  tools=ON
  if [ ${#absent[@]} -gt 0 ]; then
    tools=OFF
    lacks "${absent[*]} not installed: no zul-cv-tools for $arch (scripts/setup.sh checks installs them)"
  fi
  build "build-$dir" --toolchain "$tree/cmake/$triple.cmake" -DZUL_CV_TESTS=OFF -DZUL_CV_TOOLS=$tools
  packages "build-$dir"
done
if command -v x86_64-w64-mingw32-g++ >/dev/null; then
  build build-windows --toolchain "$tree/cmake/x86_64-w64-mingw32.cmake" -DZUL_CV_TESTS=OFF
  cp "$tree/build-windows/$name-windows-x86_64.zip" "$out/"
else
  lacks "no MinGW-w64: no Windows zip"
fi

(cd "$out" && sha256sum -- * >SHA256SUMS)
echo "release: wrote $out:"
ls -l "$out"
for m in "${missing[@]}"; do
  echo "release: WARNING: $m" >&2
done
