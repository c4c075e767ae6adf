#!/usr/bin/env bash
# check_install.sh BUILD_DIR DOMAIN URI_BASE LV2_DIR PLUGIN...
# Installs into a scratch DESTDIR, once with the build's LV2 directory
# (LV2_DIR, relative to the prefix or absolute) and once with an absolute one. Each time the LV2 directory must hold our
# bundles and nothing else, each bundle the staged one file for file (its
# manifest, Turtle and library at least, and every file the manifest names:
# the factory presets), and lilv must find exactly our
# plugins there, as it finds them staged. The copyright file and the
# changelog go with them, under <prefix>/share/doc/zul-cv and, for the
# audio-port forms (the PLUGINs ending in -audio), zul-cv-audio. With the
# tools built, the component "tools" lays zul-render, its manual page and its
# doc.
set -euo pipefail
build=$1
domain=$2
base=$3
lv2_dir=$4
shift 4
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

expect_bundles() {
  local dir=$1 stage=$2 p f
  [ "$(ls "$dir")" = "$(printf '%s.lv2\n' "${@:3}" | sort)" ] ||
    { echo "$dir holds$(printf '\n  %s' $(ls "$dir"))"; exit 1; }
  for p in "${@:3}"; do
    # What a host reads: the manifest, the library, the Turtle and each
    # file the staged manifest names (the factory presets).
    for f in manifest.ttl "$p.ttl" "$p.so" $("$here/bundle_files.sh" "$stage/$p.lv2"); do
      [ -f "$dir/$p.lv2/$f" ] || { echo "missing $dir/$p.lv2/$f"; exit 1; }
    done
    [ "$(cd "$dir/$p.lv2" && find . | sort)" = "$(cd "$stage/$p.lv2" && find . | sort)" ] ||
      { echo "$dir/$p.lv2 holds other files than $stage/$p.lv2"; exit 1; }
    for f in $(cd "$stage/$p.lv2" && find . -type f); do
      cmp "$stage/$p.lv2/$f" "$dir/$p.lv2/$f"
    done
  done
  "$here/expect_lilv.sh" "$dir" "$stage" "$base" "${@:3}"
}

expect_doc() {
  [ "$(ls "$1")" = "$(printf '%s\n' changelog.Debian.gz changelog.gz copyright)" ] ||
    { echo "$1 holds$(printf '\n  %s' $(ls "$1"))"; exit 1; }
}

DESTDIR="$scratch/a" cmake --install "$build" --prefix /opt/zul >/dev/null
case $lv2_dir in
  /*) expect_bundles "$scratch/a$lv2_dir" "$build/lv2" "$@" ;;
  *) expect_bundles "$scratch/a/opt/zul/$lv2_dir" "$build/lv2" "$@" ;;
esac
expect_doc "$scratch/a/opt/zul/share/doc/zul-cv"
expect_doc "$scratch/a/opt/zul/share/doc/zul-cv-audio"

cmake -S "$here/.." -B "$scratch/build" -DZUL_CV_TESTS=OFF -DZUL_CV_TOOLS=OFF \
  -DZUL_CV_DOMAIN="$domain" -DZUL_CV_LV2_INSTALL_DIR=/usr/local/share/lv2 >/dev/null
cmake --build "$scratch/build" >/dev/null
DESTDIR="$scratch/b" cmake --install "$scratch/build" >/dev/null
expect_bundles "$scratch/b/usr/local/share/lv2" "$scratch/build/lv2" "$@"
expect_doc "$scratch/b/usr/local/share/doc/zul-cv"
expect_doc "$scratch/b/usr/local/share/doc/zul-cv-audio"

# With the tools built, the component "tools": zul-render, its manual page
# and the doc of its package, nothing else.
if [ -x "$build/tools/zul-render" ]; then
  DESTDIR="$scratch/t" cmake --install "$build" --component tools --prefix /usr >/dev/null
  tools_files=$(cd "$scratch/t" && find . -type f | sort)
  [ "$tools_files" = "$(printf './usr/%s\n' bin/zul-render share/doc/zul-cv-tools/changelog.Debian.gz \
    share/doc/zul-cv-tools/changelog.gz \
    share/doc/zul-cv-tools/copyright share/man/man1/zul-render.1.gz)" ] ||
    { echo "the component tools holds$(printf '\n  %s' $tools_files)"; exit 1; }
fi
