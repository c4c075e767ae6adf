#!/usr/bin/env bash
# check_install.sh BUILD_DIR PLUGIN...
# Installs into a scratch DESTDIR, once with the default LV2 directory and
# once with an absolute one, and expects every bundle complete in each.
set -euo pipefail
build=$1
shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

expect_bundles() {
  for p in "$@"; do
    for f in manifest.ttl "$p.ttl" "$p.so"; do
      [ -f "$dir/$p.lv2/$f" ] || { echo "missing $dir/$p.lv2/$f"; exit 1; }
    done
  done
}

DESTDIR="$scratch/a" cmake --install "$build" --prefix /opt/zul >/dev/null
dir="$scratch/a/opt/zul/lib/lv2"
expect_bundles "$@"

cmake -S "$(dirname "$0")/.." -B "$scratch/build" -DZUL_CV_TESTS=OFF -DZUL_CV_TOOLS=OFF \
  -DZUL_CV_LV2_INSTALL_DIR=/usr/local/share/lv2 >/dev/null
cmake --build "$scratch/build" >/dev/null
DESTDIR="$scratch/b" cmake --install "$scratch/build" >/dev/null
dir="$scratch/b/usr/local/share/lv2"
expect_bundles "$@"
