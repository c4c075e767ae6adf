#!/usr/bin/env bash
# scripts/installed.sh: the default build's whole test suite (build/) with
# zul-cv installed on this machine the ways a user installs it: the three
# Debian packages, made from build/ by cpack and installed by apt-get from
# the files, and the CV plugins in ~/.lv2, laid by cmake --install from a
# build directory of their own (build-installed/), their libraries made
# unloadable. The tests must take the build's staged bundles whatever the
# machine holds: an installed copy may neither change a result nor fail a
# test.
# Packages of ours already installed are refused (they would be purged
# afterwards); ~/.lv2 is laid only when it does not exist yet (one that does
# is the user's, and stays in place for the tests). Whatever happens, the
# packages are purged and what was laid is removed, and then the machine is
# checked to be as it was found.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
ours=(zul-cv zul-cv-audio zul-cv-tools)
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

# Packages of ours known to dpkg in any state but "not installed".
ours_known() {
  dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${ours[@]}" 2>/dev/null | grep -v '^un' || true
}
if [ -n "$(ours_known)" ]; then
  echo "installed: zul-cv packages are on this machine; this stage installs and purges its own:"
  ours_known
  echo "  apt-get purge ${ours[*]}   (then run this again)"
  exit 1
fi

# As the default stage builds it.
scripts/build.sh -DZUL_CV_TESTS=ON -DZUL_CV_BENCH=ON >/dev/null
work=$(mktemp -d /tmp/zul-cv-installed.XXXXXX)
user_lv2=$HOME/.lv2
made_user_lv2=0

# logged LOG COMMAND...: runs COMMAND with its output in LOG, shown on failure.
logged() {
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log"
    echo "installed: failed: $*"
    return 1
  fi
}

# Purges, removes, and checks that nothing of this run is left; a failure
# here fails the run.
cleanup() {
  local status=$? left=()
  "${sudo[@]}" dpkg --purge "${ours[@]}" >/dev/null 2>&1 || true
  [ $made_user_lv2 = 0 ] || rm -rf "$user_lv2"
  rm -rf "$work"
  [ -z "$(ours_known)" ] || left+=("packages: $(ours_known | tr '\n' ' ')")
  [ $made_user_lv2 = 0 ] || [ ! -e "$user_lv2" ] || left+=("$user_lv2")
  compgen -G '/usr/lib/lv2/zul-cv-*' >/dev/null && left+=("/usr/lib/lv2/zul-cv-*")
  if [ ${#left[@]} -gt 0 ]; then
    printf 'installed: left on this machine: %s\n' "${left[@]}"
    status=1
  else
    echo "installed: packages purged$([ $made_user_lv2 = 0 ] || echo ", $user_lv2 removed"): as found"
  fi
  exit $status
}
trap cleanup EXIT

echo "installed: the packages of build/, installed"
logged "$work/cpack.log" cpack -G DEB --config build/CPackConfig.cmake -B "$work/debs"
debs=()
for p in "${ours[@]}"; do
  deb=$(compgen -G "$work/debs/${p}_*.deb") || { echo "installed: cpack made no package $p"; exit 1; }
  debs+=("$deb")
done
# From the files, without updating the index: a mirror half synced must not
# fail the tests.
logged "$work/install.log" "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${debs[@]}"

if [ -e "$user_lv2" ]; then
  echo "installed: $user_lv2 is there already, the user's: no copy laid in it"
else
  echo "installed: the CV plugins in $user_lv2 (cmake --install)"
  logged "$work/user.log" cmake -S . -B build-installed -DCMAKE_BUILD_TYPE=Release \
    -DZUL_CV_LV2_INSTALL_DIR="$user_lv2" -DZUL_CV_TESTS=OFF -DZUL_CV_TOOLS=OFF -DZUL_CV_BENCH=OFF
  logged "$work/user.log" cmake --build build-installed --parallel "$jobs"
  made_user_lv2=1
  # The licence and changelog go below a prefix of the run's own.
  logged "$work/user.log" cmake --install build-installed --component plugins --prefix "$work/prefix"
  # Its copies would give the build's bits, so a test that loaded them
  # instead would still pass: made unloadable, they fail it.
  for so in "$user_lv2"/zul-cv-*.lv2/*.so; do
    echo "not a library: a test loaded $so in place of the build's" >"$so"
  done
fi

# The copies are where hosts look: the packages' in /usr/lib/lv2, the
# user's in ~/.lv2, zul-render on PATH.
for f in /usr/lib/lv2/zul-cv-abs.lv2/manifest.ttl /usr/lib/lv2/zul-cv-abs-audio.lv2/manifest.ttl \
  /usr/bin/zul-render $([ $made_user_lv2 = 0 ] || echo "$user_lv2/zul-cv-abs.lv2/manifest.ttl"); do
  [ -e "$f" ] || { echo "installed: no $f after the install"; exit 1; }
done

# The checks against the installed copies.
echo "installed: the default build's tests"
ctest --test-dir build --output-on-failure --parallel "$jobs" --timeout 900

# Another run on this machine that removed them would make this no test.
[ "$(ours_known | grep -c '^ii')" = ${#ours[@]} ] ||
  { echo "installed: the packages were removed while the tests ran"; exit 1; }
