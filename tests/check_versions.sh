#!/usr/bin/env bash
# check_versions.sh SOURCE_DIR STAGE_DIR VERSION
# One version everywhere a user or a host reads it: VERSION (CMake's), the
# newest heading of NEWS.md, the newest entry of packaging/changelog, the RPM
# recipe zul-cv.spec: its Version and newest %changelog entry, and
# every staged bundle's lv2:minorVersion and lv2:microVersion.
set -uo pipefail
source_dir=$1 stage=$2 version=$3
failed=0
fail() { echo "FAIL $*"; failed=1; }

news=$(sed -n 's/^## \([0-9][0-9.]*\) .*/\1/p' "$source_dir/NEWS.md" | head -1)
[ "$news" = "$version" ] || fail "NEWS.md's newest heading is ${news:-missing}, not $version"
# The changelog's version is VERSION and a Debian revision: 0.4.0-1.
changelog=$(sed -n '1s/^zul-cv (\([^)]*\)).*/\1/p' "$source_dir/packaging/changelog")
[ "${changelog%-*}" = "$version" ] && [ "${changelog%-*}" != "$changelog" ] ||
  fail "packaging/changelog's newest entry is ${changelog:-missing}, not $version-<revision>"

rpm_recipe=$source_dir/packaging/rpm/zul-cv.spec
[ "$(sed -n 's/^Version: *//p' "$rpm_recipe")" = "$version" ] || fail "$rpm_recipe: Version is not $version"
sed -n '/^%changelog/,$p' "$rpm_recipe" | grep -m1 '^\* ' | grep -q -- "- $version-[0-9]*$" ||
  fail "$rpm_recipe: the newest %changelog entry is not $version"

IFS=. read -r _ minor micro <<<"$version"
# LV2's rule: an even minor version is a release, dated in NEWS.md and the
# changelog; an odd one is main between releases, UNRELEASED in the changelog.
distribution=$(sed -n '1s/^[^)]*) \([^;]*\);.*/\1/p' "$source_dir/packaging/changelog")
dated=$(grep -c "^## $version ([0-9]* [A-Z][a-z]* [0-9]*)$" "$source_dir/NEWS.md")
if [ $((minor % 2)) = 0 ]; then
  [ "$distribution" != UNRELEASED ] || fail "release $version: the changelog's entry is UNRELEASED"
  [ "$dated" = 1 ] || fail "release $version: NEWS.md's heading has no date"
else
  [ "$distribution" = UNRELEASED ] || fail "development version $version: the changelog's entry is $distribution, not UNRELEASED"
fi
bundles=0
for ttl in "$stage"/*.lv2/zul-cv-*.ttl; do
  bundles=$((bundles + 1))
  grep -q "lv2:minorVersion $minor ;" "$ttl" || fail "$ttl: lv2:minorVersion is not $minor"
  grep -q "lv2:microVersion $micro ;" "$ttl" || fail "$ttl: lv2:microVersion is not $micro"
done
[ "$bundles" -gt 0 ] || fail "no bundle staged in $stage"
[ $failed = 0 ] && echo "ok version $version in CMake, NEWS.md, the changelogs, zul-cv.spec and $bundles bundles"
exit $failed
