#!/usr/bin/env bash
# scripts/distro.sh: builds the project as distributions build it, from a
# source tarball of the tree as git sees it (local changes included), made
# as scripts/release.sh makes the release's, and checks what they get.
#  1. Debian's source package: the tarball as the orig tarball, with
#     packaging/debian/ as debian/ and packaging/changelog as its changelog
#     (format 3.0 (quilt)), made by dpkg-buildpackage -S; lintian finds no
#     error or warning in the .dsc and the .changes.
#  2. Debian's build, from that source package: dpkg-buildpackage -us -uc -b,
#     debhelper's own CMake configure with hardening=+all, the test suite
#     (dh_auto_test), dh_strip, dh_shlibdeps. lintian finds no error or
#     warning in the packages and the .changes; each package's description
#     is the one cpack writes.
#  3. The same source package built again by dpkg-buildpackage, later and in
#     another directory (without the tests): the same packages, byte for
#     byte.
#  4. The RPM packages (scripts/rpm.sh): rpmbuild -ba of
#     packaging/rpm/zul-cv.spec from the tarball with Fedora's macros and
#     flags (-O2 -flto=auto -fexceptions -fstack-clash-protection
#     -fcf-protection -D_FORTIFY_SOURCE=3 -D_GLIBCXX_ASSERTIONS,
#     -Wl,-z,now ...), the test suite in %check, and rpmlint on zul-cv.spec and
#     every package.
#  5. For both, every plugin's instructions per sample (zul-count under
#     callgrind, separate buffers, 256 frames) within 10 % of the default
#     build's.
#  6. The source package's tests (debian/tests) run by autopkgtest (the null
#     runner, as root) against the packages of step 2, installed on this
#     machine for them and removed again afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
jobs=$(nproc)
scripts/setup.sh checks
scripts/build.sh -DZUL_CV_TESTS=ON -DZUL_CV_BENCH=ON >/dev/null
work=$(mktemp -d /tmp/zul-cv-distro.XXXXXX)
trap 'rm -rf "$work"' EXIT
version=$(sed -n 's/^project(zul-cv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

debian_version=$(sed -n '1s/^zul-cv (\([^)]*\)).*/\1/p' packaging/changelog)
distribution=$(sed -n '1s/^[^)]*) \([^;]*\);.*/\1/p' packaging/changelog)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)

# The sources as git sees them (local changes included), taken once as the
# tarball zul-cv-<version>.tar.xz: every build below starts from it.
snapshot=$work/snapshot/zul-cv-$version
mkdir -p "$snapshot"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  xargs -0 cp -a --parents -t "$snapshot"
tarball=$work/zul-cv-$version.tar.xz
scripts/tarball.sh "$snapshot" "$tarball"

# source_tree DIR: the tarball unpacked as DIR.
source_tree() {
  mkdir -p "$1"
  tar -xf "$tarball" -C "$1" --strip-components=1
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

# no_lintian_complaint FILE...: lintian finds no error or warning in FILEs,
# and shows what else it has to say. A development version's changelog entry
# is UNRELEASED, which lintian reports as an error in a .changes: that one is
# what the entry means, not a fault, until the release.
no_lintian_complaint() {
  local log=$work/lintian.log suppress=()
  [ "$distribution" != UNRELEASED ] || suppress=(--suppress-tags unreleased-changes)
  if ! lintian --fail-on error,warning --info "${suppress[@]}" "$@" >"$log" 2>&1 ||
    grep -q '^[EW]: ' "$log"; then
    cat "$log"
    echo "distro: lintian finds errors or warnings in $*"
    exit 1
  fi
  grep '^[^N]: ' "$log" || true
}

echo "distro: Debian's source package (3.0 (quilt), dpkg-buildpackage -S)"
source=$work/source/zul-cv-$version
source_tree "$source"
cp "$tarball" "$work/source/zul-cv_$version.orig.tar.xz"
cp -a packaging/debian "$source/debian"
cp packaging/changelog "$source/debian/changelog"
logged "$work/source.log" sh -c "cd '$source' && dpkg-buildpackage -S -us -uc -d"
dsc=$work/source/zul-cv_$debian_version.dsc
no_lintian_complaint "$dsc" "$work/source/zul-cv_${debian_version}_source.changes"

# from_source DIR: the source package unpacked as DIR, as a buildd does.
from_source() {
  mkdir -p "$(dirname "$1")"
  logged "$work/unpack.log" dpkg-source -x "$dsc" "$1"
}

echo "distro: Debian's build (dpkg-buildpackage, debhelper, hardening=+all, the tests)"
debian=$work/debian/zul-cv-$version
from_source "$debian"
logged "$work/debian.log" sh -c "cd '$debian' && dpkg-buildpackage -us -uc -b"
no_lintian_complaint "$work/debian/zul-cv_${debian_version}_$arch.changes"
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
from_source "$again"
logged "$work/again.log" sh -c "cd '$again' && DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -us -uc -b"
for deb in "$work"/debian/*.deb; do  # the -dbgsym packages too
  cmp "$deb" "$work/again/elsewhere/$(basename "$deb")" ||
    { echo "distro: $(basename "$deb") differs between two builds"; exit 1; }
done

echo "distro: the RPM packages with Fedora's macros and flags, the tests in %check, rpmlint"
scripts/rpm.sh "$tarball" "$work/rpm"
within_ten_percent "$work/rpm/BUILD/zul-cv-$version/redhat-linux-build" Fedora

# Last, as it installs our packages on this machine, where the other builds'
# tests must not find them. Packages of ours already installed would be
# replaced and then removed: refused.
echo "distro: the source package's tests (autopkgtest, null runner)"
ours=(zul-cv zul-cv-audio zul-cv-tools)
if dpkg-query -W -f='${Status}\n' "${ours[@]}" 2>/dev/null | grep -q 'install ok installed'; then
  echo "distro: zul-cv packages are installed here; autopkgtest would replace and remove them:"
  echo "  apt-get remove ${ours[*]}   (then run this again)"
  exit 1
fi
trap 'dpkg --purge "${ours[@]}" >/dev/null 2>&1; rm -rf "$work"' EXIT
# Installed by apt from the files (no index to update: a mirror half synced
# must not fail the tests), then the tests of the source package against them.
logged "$work/install.log" apt-get install -y --no-install-recommends \
  "$work"/debian/zul-cv{,-audio,-tools}_"${debian_version}_$arch.deb"
logged "$work/autopkgtest.log" autopkgtest --no-built-binaries --output-dir "$work/autopkgtest" \
  "$dsc" -- null
grep -E '^[a-z0-9-]+ +(PASS|FAIL|SKIP)' "$work/autopkgtest/summary" || cat "$work/autopkgtest/summary"
echo "distro: passed"
