#!/usr/bin/env bash
# scripts/distro.sh: builds the project as distributions build it, from a
# copy of the sources in a scratch directory, and checks what they get.
#  1. Debian: packaging/debian/ copied in as debian/ (with packaging/changelog
#     as its changelog), then dpkg-buildpackage -us -uc -b: debhelper's own
#     CMake configure with hardening=+all, the test suite (dh_auto_test),
#     dh_strip, dh_shlibdeps. lintian finds no error or warning in the
#     packages and the .changes; each package's description is the one cpack
#     writes.
#  2. The same commit built again by dpkg-buildpackage, later and in another
#     directory (without the tests): the same packages, byte for byte.
#  3. Fedora's and Arch's flags (-O2 -flto=auto -fexceptions
#     -fstack-clash-protection -fcf-protection -D_FORTIFY_SOURCE=3
#     -D_GLIBCXX_ASSERTIONS, -Wl,-z,now) with build type None, and the test
#     suite there.
#  4. For both, every plugin's instructions per sample (zul-count under
#     callgrind, separate buffers, 256 frames) within 10 % of the default
#     build's.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
jobs=$(nproc)
scripts/setup.sh --checks
scripts/build.sh -DZUL_CV_TESTS=ON >/dev/null
work=$(mktemp -d /tmp/zul-cv-distro.XXXXXX)
trap 'rm -rf "$work"' EXIT
version=$(sed -n 's/^project(zul-cv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# The sources as git sees them (local changes included), with debian/, taken
# once: every build below starts from a copy of this one snapshot.
snapshot=$work/snapshot
mkdir -p "$snapshot"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  xargs -0 cp -a --parents -t "$snapshot"
cp -a packaging/debian "$snapshot/debian"
cp packaging/changelog "$snapshot/debian/changelog"

# source_tree DIR: a copy of the snapshot.
source_tree() {
  mkdir -p "$(dirname "$1")"
  cp -a "$snapshot" "$1"
}

# logged LOG COMMAND...: runs COMMAND with its output in LOG, shown on failure.
logged() {
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 80 "$log"
    echo "distro: failed: $*"
    return 1
  fi
}

# within_ten_percent BUILD_DIR NAME: every plugin's count against the default build's.
within_ten_percent() {
  local status=0 p ours theirs
  for p in $(sed -n 's/^zul_add_plugin(\([^ )]*\).*/\1/p' plugins/CMakeLists.txt); do
    ours=$(scripts/instructions.sh build/bench/zul-count "$p")
    theirs=$(scripts/instructions.sh "$1/bench/zul-count" "$p")
    printf '%s: %s %s instructions per sample, the default build %s\n' "$2" "$p" "$theirs" "$ours"
    awk -v a="$theirs" -v b="$ours" 'BEGIN { exit !(a <= 1.10 * b) }' ||
      { echo "distro: $2 $p grew by more than 10 %"; status=1; }
  done
  return $status
}

echo "distro: Debian's build (dpkg-buildpackage, debhelper, hardening=+all, the tests)"
debian=$work/debian/zul-cv-$version
source_tree "$debian"
logged "$work/debian.log" sh -c "cd '$debian' && dpkg-buildpackage -us -uc -b"
changes=$(ls "$work"/debian/*.changes)
lintian_log=$work/lintian.log
if ! lintian --fail-on error,warning --info "$changes" >"$lintian_log" 2>&1 ||
  grep -q '^[EW]: ' "$lintian_log"; then
  cat "$lintian_log"
  echo "distro: lintian finds errors or warnings"
  exit 1
fi
grep '^[^N]: ' "$lintian_log" || true
logged "$work/cpack.log" cpack -G DEB --config build/CPackConfig.cmake -B "$work/cpack"
for deb in "$work"/cpack/*.deb; do
  ours=$work/debian/$(basename "$deb")
  [ -f "$ours" ] || { echo "distro: Debian's build has no $(basename "$deb")"; exit 1; }
  if [ "$(dpkg-deb -f "$ours" Description)" != "$(dpkg-deb -f "$deb" Description)" ]; then
    echo "distro: $(basename "$deb"): debian/control's description is not the build's:"
    diff <(dpkg-deb -f "$ours" Description) <(dpkg-deb -f "$deb" Description) || true
    exit 1
  fi
done
within_ten_percent "$debian/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)" Debian

echo "distro: Debian's build again, elsewhere and later: the same packages"
again=$work/again/elsewhere/zul-cv-$version
source_tree "$again"
logged "$work/again.log" sh -c "cd '$again' && DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -us -uc -b"
for deb in "$work"/debian/*.deb; do  # the -dbgsym packages too
  cmp "$deb" "$work/again/elsewhere/$(basename "$deb")" ||
    { echo "distro: $(basename "$deb") differs between two builds"; exit 1; }
done

echo "distro: Fedora's and Arch's flags, build type None, the tests"
fedora=$work/fedora
source_tree "$fedora/src"
logged "$work/fedora.log" env \
  CXXFLAGS="-O2 -flto=auto -fexceptions -fstack-clash-protection -fcf-protection -D_FORTIFY_SOURCE=3 -D_GLIBCXX_ASSERTIONS" \
  LDFLAGS="-flto=auto -Wl,-z,now" \
  sh -c "cmake -S '$fedora/src' -B '$fedora/build' -DCMAKE_BUILD_TYPE=None &&
         cmake --build '$fedora/build' --parallel $jobs"
ctest --test-dir "$fedora/build" --output-on-failure --parallel "$jobs" --timeout 900
within_ten_percent "$fedora/build" Fedora
echo "distro: passed"
