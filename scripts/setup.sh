#!/usr/bin/env bash
# scripts/setup.sh PURPOSE
# Installs, from Debian's packages, whatever PURPOSE needs and this machine
# lacks; quiet and quick when everything is there.
#   demo    building the plugins and zul-render, and the demo's plots
#           (scripts/demo.sh)
#   bench   the demo's, and the benchmarks: Google Benchmark, callgrind,
#           lilv's lv2bench and the LV2 example gain plugin (scripts/bench.sh)
#   fuzz    the plugins' build with clang, libFuzzer and the sanitizers
#           (scripts/fuzz.sh)
#   tests   the demo's, and the default build with its tests: the hosts of
#           others, the package checks (ZUL_CV_STAGES=default scripts/test.sh)
#   checks  all of the above, and the checking stages of scripts/test.sh
#           (scripts/test.sh, scripts/distro.sh)
# jackd2 (tests, checks) asks whether the audio group may take realtime
# priority. The install does not ask: debconf keeps the answer this machine
# already gave, and on a first install takes Debian's default (no);
# `dpkg-reconfigure jackd2` asks again. Only an unattended CI run (CI=true)
# also writes that answer down beforehand.
set -euo pipefail

usage() { echo "usage: scripts/setup.sh demo|bench|fuzz|tests|checks" >&2; exit 2; }

# The plugins alone.
plugins=(cmake g++ make pkgconf lv2-dev)
# zul-render (lilv, libsndfile) and the demo's plots.
demo=(liblilv-dev libsndfile1-dev gnuplot-nox)
bench=(
  libbenchmark-dev       # zul-bench
  valgrind               # callgrind counts zul-count's instructions
  lilv-utils lv2-examples  # lv2bench, and eg-amp to set beside ours
)
fuzz=(clang libclang-rt-dev)  # libFuzzer and the sanitizers' runtimes
tests=(
  binutils                              # readelf/nm/objdump for the library checks
  libgtest-dev                          # tests
  libbenchmark-dev                      # the default build's zul-bench and zul-count
  sordi lilv-utils                      # sordi; lilv's lv2info, lv2bench, lv2apply, lv2ls
  clang-format                          # formatting check
  lv2-examples                          # eg-amp for the render and hosts tests
  time                                  # the render test's peak-memory check (/usr/bin/time)
  jackd2 jalv                           # the JACK test: server, jack_rec, jack_wait; the LV2 host
  ffmpeg ecasound ardour lv2file lv2proc  # the hosts test: LV2 hosts without CV ports (ardour7-lua too)
  gstreamer1.0-plugins-bad gstreamer1.0-tools  # the same: GStreamer's lv2 element, gst-launch-1.0
  audacity xvfb                         # the same: Audacity 3.2 driven headless (tests/audacity)
  dpkg-dev file                         # the Debian package: dpkg-shlibdeps for its Depends, as cpack runs it
  lintian                               # the package test holds the .deb to Debian's rules
)
checks=(
  valgrind               # memcheck, and the distro stage's instruction counts
  qemu-user              # the AArch64 and no-FMA x86-64 runs
  g++-aarch64-linux-gnu binutils-aarch64-linux-gnu  # AArch64 cross build and library checks
  g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf  # the same for 32-bit ARM (armhf)
  googletest             # GoogleTest's sources, built for AArch64
  debhelper              # the distro stage: Debian's own build of the packages
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64  # the Windows cross build and DLL checks
  wine64 zip             # the same: the tests under wine, the zip of the bundles
  autopkgtest            # the distro stage: the source package's tests against the installed packages
  rpm rpmlint debugedit elfutils  # the same: the RPM build (rpmbuild -ba, find-debuginfo) and rpmlint
  # zul-render cross-built: the target's lilv and libsndfile, and its pkg-config,
  # from Debian's packages of that architecture (multiarch, added below)
  pkgconf:arm64 liblilv-dev:arm64 libsndfile1-dev:arm64
  pkgconf:armhf liblilv-dev:armhf libsndfile1-dev:armhf
)

[ $# -eq 1 ] || usage
purpose=$1
case $purpose in
  demo) packages=("${plugins[@]}" "${demo[@]}") ;;
  bench) packages=("${plugins[@]}" "${demo[@]}" "${bench[@]}") ;;
  fuzz) packages=("${plugins[@]}" "${fuzz[@]}") ;;
  tests) packages=("${plugins[@]}" "${demo[@]}" "${tests[@]}") ;;
  # The sanitizer stages take clang from fuzz, the distro stage callgrind from bench.
  checks) packages=("${plugins[@]}" "${demo[@]}" "${tests[@]}" "${bench[@]}" "${fuzz[@]}" "${checks[@]}") ;;
  *) usage ;;
esac

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
# dpkg takes packages of another architecture once told of it; apt-get
# update below then fetches its index. Only the checks need it.
if [ "$purpose" = checks ]; then
  foreign=$(dpkg --print-foreign-architectures)
  for arch in arm64 armhf; do
    if ! grep -qx "$arch" <<<"$foreign"; then
      echo "setup: adding the $arch architecture to dpkg"
      "${sudo[@]}" dpkg --add-architecture "$arch"
    fi
  done
fi

missing=()
for p in "${packages[@]}"; do
  [[ " ${missing[*]} " == *" $p "* ]] && continue  # named by two groups
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *" jackd2 "* ]]; then
  if [ "${CI:-}" = true ]; then
    echo 'jackd2 jackd/tweak_rt_limits boolean false' | "${sudo[@]}" debconf-set-selections
  else
    echo "setup: jackd2 keeps this machine's answer on realtime priority, or Debian's default (no);" \
      "'sudo dpkg-reconfigure jackd2' asks"
  fi
fi
# A mirror caught mid-sync fails one index; the lists already there still serve.
"${sudo[@]}" apt-get update -qq || echo "setup: apt-get update failed for some index; going on"
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
