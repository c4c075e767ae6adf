#!/usr/bin/env bash
# check_reproducible.sh BUILD_DIR
# Links every DLL of a Windows build again and makes its zip again, seconds
# later, and fails unless each comes out byte for byte as before: no link
# time in a DLL's header, no date, order or owner of the build's in the zip.
set -euo pipefail
build=$1
saved=$(mktemp -d /tmp/zul-cv-windows.XXXXXX)
trap 'rm -rf "$saved"' EXIT
# The zip of this build's version (a build directory may keep an older one).
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
mapfile -t files < <(cd "$build" && find lv2 lv2-software-fma -name '*.dll' | sort &&
  ls "./zul-cv-$version-windows-x86_64.zip")
(cd "$build" && cp --parents "${files[@]}" "$saved/" && rm "${files[@]}")
sleep 1
if ! cmake --build "$build" --parallel "$(nproc)" >"$saved/build.log" 2>&1; then
  cat "$saved/build.log"
  exit 1
fi
status=0
for f in "${files[@]}"; do
  cmp "$saved/$f" "$build/$f" || status=1
done
[ $status -eq 0 ] && echo "${#files[@]} files linked and zipped again, the same bytes"
exit $status
