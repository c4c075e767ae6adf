#!/usr/bin/env bash
# scripts/rpm.sh TARBALL OUTDIR: builds the RPM packages from a release
# tarball (scripts/release.sh) as Fedora builds them, on this Debian machine:
# rpmbuild -ba with the tarball's packaging/rpm/zul-cv.spec and Fedora's
# macros and flags (packaging/rpm/fedora.macros), the test suite in %check,
# then rpmlint on zul-cv.spec, the source RPM and every binary RPM, and a look at
# what each package holds. OUTDIR is rpmbuild's _topdir; the build tree stays
# in it, and its path is printed last.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 TARBALL OUTDIR" >&2; exit 2; }
tarball=$(realpath "$1")
out=$(realpath -m "$2")
here=$(cd "$(dirname "$0")/.." && pwd)
name=$(basename "$tarball" .tar.xz)  # zul-cv-<version>
version=${name#zul-cv-}
[ "$name" != "$version" ] || { echo "rpm: $tarball is not zul-cv-<version>.tar.xz" >&2; exit 2; }

rm -rf "$out"
mkdir -p "$out/SOURCES" "$out/SPECS"
cp "$tarball" "$out/SOURCES/"
# zul-cv.spec goes with its sources; the macros stand in for the distribution.
tar -xJOf "$tarball" "$name/packaging/rpm/zul-cv.spec" >"$out/SPECS/zul-cv.spec"

log=$out/rpmbuild.log
# Debian's package names are not Fedora's: --nodeps. --noclean keeps the
# build tree, which rpm removes after a build. The caller's flags would take
# the place of Fedora's.
if ! env -u CFLAGS -u CXXFLAGS -u CPPFLAGS -u LDFLAGS \
  rpmbuild -ba --nodeps --noclean --load "$here/packaging/rpm/fedora.macros" \
  --define "_topdir $out" "$out/SPECS/zul-cv.spec" >"$log" 2>&1; then
  tail -n 80 "$log"
  echo "rpm: rpmbuild failed (the whole log: $log)"
  exit 1
fi
mapfile -t rpms < <(find "$out/RPMS" -name '*.rpm' | sort)
srpm=$(find "$out/SRPMS" -name '*.src.rpm')
for f in "$srpm" "${rpms[@]}"; do
  printf '%8s  %s\n' "$(du -h "$f" | cut -f1)" "${f#"$out"/}"
done

# rpmlint with Fedora's rules: no error; its warnings are shown.
lint=$out/rpmlint.log
status=0
rpmlint -c "$here/packaging/rpm/rpmlint.toml" "$out/SPECS/zul-cv.spec" "$srpm" "${rpms[@]}" \
  >"$lint" 2>&1 || status=$?
if [ "$status" -ne 0 ] || grep -q ': E: ' "$lint"; then
  cat "$lint"
  echo "rpm: rpmlint finds errors"
  exit 1
fi
grep ': W: ' "$lint" || true
tail -n 1 "$lint"

# contents PACKAGE: what its RPM installs, each bundle as one line, without
# its %license, its %doc and rpm's build-id links.
contents() {
  rpm -qlp "$(find "$out/RPMS" -name "$1-$version-*.rpm")" |
    grep -v "^/usr/share/\(doc\|licenses\)/$1\(/\|$\)\|^/usr/lib/\.build-id\(/\|$\)" |
    sed 's|^\(/usr/lib64/lv2/[^/]*\.lv2\)/.*|\1|' | sort -u
}
plugins=$(sed -n 's/^zul_add_plugin(\([^ )]*\).*/\1/p' "$out/BUILD/$name/plugins/CMakeLists.txt" | sort)
expect() {  # expect PACKAGE EXPECTED
  local got
  got=$(contents "$1")
  [ "$got" = "$2" ] || { printf 'rpm: %s holds\n%s\nnot\n%s\n' "$1" "$got" "$2"; exit 1; }
}
expect zul-cv "$(printf '/usr/lib64/lv2/%s.lv2\n' $plugins | sort)"
expect zul-cv-audio "$(printf '/usr/lib64/lv2/%s-audio.lv2\n' $plugins | sort)"
expect zul-cv-tools "$(printf '%s\n' /usr/bin/zul-render /usr/share/man/man1/zul-render.1.gz)"
echo "rpm: passed; the build tree: $out/BUILD/$name/redhat-linux-build"
