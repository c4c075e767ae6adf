#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests, the demo and
# the benchmarks need and this machine lacks; with --checks also what the
# checking stages of scripts/test.sh need. Quiet and quick when everything is there.
set -euo pipefail

packages=(
  cmake g++ make pkgconf binutils       # build, readelf/nm/objdump for the library checks
  libgtest-dev                          # tests
  lv2-dev sordi liblilv-dev lilv-utils  # LV2 headers, lv2_validate and sordi, lilv, lv2info
  clang-format                          # formatting check
  libsndfile1-dev gnuplot-nox lv2-examples  # render host and demo; eg-amp for the hosts test
  time                                  # the render test's peak-memory check (/usr/bin/time)
  jackd2 jalv                           # the JACK test: server, jack_rec, jack_wait; the LV2 host
  ffmpeg ecasound ardour lv2file lv2proc  # the hosts test: LV2 hosts without CV ports (ardour7-lua too)
  gstreamer1.0-plugins-bad gstreamer1.0-tools  # the same: GStreamer's lv2 element, gst-launch-1.0
  audacity xvfb                         # the same: Audacity 3.2 driven headless (tests/audacity)
  dpkg-dev file                         # the Debian package: dpkg-shlibdeps for its Depends, as cpack runs it
  lintian                               # the package test holds the .deb to Debian's rules
  libbenchmark-dev valgrind             # benchmarks (scripts/bench.sh)
)
if [ "${1:-}" = --checks ]; then
  packages+=(
    clang libclang-rt-dev  # sanitizer builds: ASan with UBSan, TSan
    valgrind               # memcheck
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
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
# dpkg takes packages of another architecture once told of it; apt-get
# update below then fetches its index. Only the checks need it.
if [ "${1:-}" = --checks ]; then
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
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to allow realtime priority; the tests run without it.
echo 'jackd2 jackd/tweak_rt_limits boolean false' | "${sudo[@]}" debconf-set-selections
# A mirror caught mid-sync fails one index; the lists already there still serve.
"${sudo[@]}" apt-get update -qq || echo "setup: apt-get update failed for some index; going on"
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
