#!/usr/bin/env bash
# Installs what is missing (scripts/setup.sh: tests for the default stage
# alone, checks otherwise), builds, and runs the whole test suite: the default
# build in build/, then each checking stage in its own build directory.
#   installed the default build's tests again with zul-cv installed every
#             way a user installs it: its three packages (cpack, apt-get)
#             and the CV plugins in ~/.lv2 (where there is none yet); the
#             tests must take the staged bundles all the same. The packages
#             are purged and ~/.lv2 removed afterwards; refused where a
#             zul-cv package is installed already (scripts/installed.sh)
#   readme    the README's recipes as a reader runs them, in a copy of the
#             tree: the build, each way to install and its removal (which
#             must leave the machine's files as they were), jalv with a
#             preset, zul-render and the demo; git sees the copy unchanged
#   asan      every test, plugins and tests built with ASan and UBSan
#   fuzz      each plugin against the reference model under libFuzzer, ASan
#             and UBSan, from the committed seeds, ZUL_CV_FUZZ_SECONDS
#             (default 10) per plugin and path
#   valgrind  each test program of the default build under valgrind's memcheck
#   tsan      the threads test built with TSan
#   aarch64   cross-built for AArch64, the test programs under qemu-aarch64
#   armhf     cross-built for 32-bit ARM (armhf), the test programs under
#             qemu-arm
#   nofma     each test program of the default build under qemu-x86_64 on a
#             CPU without FMA
#   distro    Debian's source package from a tarball of the tree, built as
#             Debian builds it (dpkg-buildpackage, debhelper, hardening flags,
#             the test suite, lintian), again for byte-identical packages, its
#             autopkgtests, and the RPM packages with Fedora's macros and flags
#             and rpmlint (scripts/distro.sh)
#   release   scripts/release.sh twice, the two folders byte for byte the
#             same; then the source tarball alone, unpacked without git,
#             builds and passes the default stage
#   windows   cross-built for 64-bit Windows with MinGW-w64: each DLL's
#             exports, imports and run checked, the reference sessions under
#             wine (both variants, and on a thread started after the load),
#             zul-cv-control's poles, and the DLLs and the zip
#             made again, byte for byte the same
# ZUL_CV_STAGES, a comma-separated list (default,asan,...), runs only those.
set -euo pipefail
cd "$(dirname "$0")/.."
stages=",${ZUL_CV_STAGES:-default,installed,readme,asan,fuzz,valgrind,tsan,aarch64,armhf,nofma,distro,windows,release},"
# The default stage alone needs the tests' packages; any other, the checks'.
if [ "$stages" = ,default, ]; then
  scripts/setup.sh tests
else
  scripts/setup.sh checks
fi
jobs=$(nproc)
timings=()

# build DIR [--target TARGET] CMAKE_ARGUMENT...: configures and builds DIR
# (everything, or TARGET and what it needs), printing the log on failure only.
build() {
  local dir=$1 target=()
  shift
  if [ "${1:-}" = --target ]; then
    target=(--target "$2")
    shift 2
  fi
  mkdir -p "$dir"
  if ! { cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DZUL_CV_WERROR=ON "$@" &&
    cmake --build "$dir" --parallel "$jobs" "${target[@]}"; } >"$dir/build.log" 2>&1; then
    cat "$dir/build.log"
    echo "$dir: build failed"
    return 1
  fi
}

# launched DIR COMMAND...: the default build's test programs, each run whole
# through COMMAND, as the tests of DIR.
launched() {
  local dir=$1
  shift
  build build -DZUL_CV_TESTS=ON
  mkdir -p "$dir"
  printf 'set(ZUL_TEST_LAUNCHER%s)\ninclude("%s")\n' "$(printf ' "%s"' "$@")" \
    "$PWD/build/launched_tests.cmake" >"$dir/CTestTestfile.cmake"
  run_ctest "$dir"
}

# run_ctest DIR [CTEST_ARGUMENT...]
run_ctest() {
  local dir=$1
  shift
  ctest --test-dir "$dir" --output-on-failure --parallel "$jobs" --timeout 900 "$@"
}

# stage NAME COMMAND...: runs COMMAND when NAME is selected, and times it.
stage() {
  local name=$1
  shift
  [[ $stages == *",$name,"* ]] || return 0
  echo "=== stage $name"
  local start=$SECONDS
  "$@"
  timings+=("$name $((SECONDS - start)) s")
}

# With the benchmark programs, which the distro stage counts with and a
# demo's build (scripts/demo.sh) leaves out.
default_stage() {
  scripts/build.sh -DZUL_CV_TESTS=ON -DZUL_CV_BENCH=ON
  run_ctest build
}

asan_stage() {
  build build-asan -DCMAKE_CXX_COMPILER=clang++ \
    -DZUL_CV_SANITIZE=address,undefined,float-cast-overflow
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_ctest build-asan
}

# Starts from the committed seeds alone (build-fuzz/corpus/ is what earlier
# runs found), and fails if fuzzing left or changed a file outside build-fuzz/.
fuzz_stage() {
  local before after
  before=$(source_tree_status)
  rm -rf build-fuzz/corpus build-fuzz/artifacts
  scripts/fuzz.sh "${ZUL_CV_FUZZ_SECONDS:-10}"
  after=$(source_tree_status)
  if [ "$before" != "$after" ]; then
    echo "fuzz: the source tree changed:"
    diff <(echo "$before") <(echo "$after") || true
    return 1
  fi
}

# What git sees changed or new in the source tree (build directories ignored);
# nothing outside a git checkout.
source_tree_status() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git status --porcelain --untracked-files=all
    git diff --binary | sha256sum
  fi
}

# The audio-port forms link the very objects of the CV plugins: the stages
# that run whole programs under an emulator or valgrind leave their copies
# of the reference sessions out. valgrind's processor has no AVX-512.
valgrind_stage() {
  GTEST_FILTER='-AudioForms/*' ZUL_TEST_NO_AVX512=1 launched build-valgrind "$PWD/tests/memcheck.sh"
}

# The other programs run on one thread: the threads test is what TSan is for.
tsan_stage() {
  build build-tsan --target threads_tests -DCMAKE_CXX_COMPILER=clang++ -DZUL_CV_SANITIZE=thread
  TSAN_OPTIONS=halt_on_error=1 run_ctest build-tsan -R '^Plugins/Threads\.'
}

aarch64_stage() {
  build build-aarch64 --toolchain cmake/aarch64-linux-gnu.cmake
  ZUL_TEST_VARIANT=baseline run_ctest build-aarch64
}

# qemu-arm's processor has VFPv4, so the libraries as built take the
# instruction and their forced-baseline copies the software fused multiply-add.
armhf_stage() {
  build build-armhf --toolchain cmake/arm-linux-gnueabihf.cmake
  ZUL_TEST_VARIANT=vfpv4 run_ctest build-armhf
}

# Nehalem has SSE4.2 but neither AVX nor FMA: the plugins' dispatch must take
# the software fused multiply-add, and the instruction would be SIGILL there.
nofma_stage() {
  GTEST_FILTER='-AudioForms/*' ZUL_TEST_VARIANT=baseline launched build-nofma qemu-x86_64 -cpu Nehalem
}

# The release twice, compared; the tarball's own default stage, in a copy
# with no git and nothing of this tree's builds.
release_stage() {
  rm -rf build-release
  mkdir -p build-release
  local log=build-release/release.log
  scripts/release.sh build-release/a >$log 2>&1 || { cat $log; return 1; }
  scripts/release.sh build-release/b >>$log 2>&1 || { cat $log; return 1; }
  if ! diff -r build-release/a build-release/b; then
    echo "release: two runs differ"
    return 1
  fi
  echo "release: two runs, the same bytes: $(cd build-release/a && echo *)"
  # This machine has everything (setup.sh checks): the release is whole.
  local p a missing=()
  for p in zul-cv zul-cv-audio zul-cv-tools; do
    for a in amd64 arm64 armhf; do
      compgen -G "build-release/a/${p}_*_$a.deb" >/dev/null || missing+=("${p} for $a")
    done
  done
  compgen -G 'build-release/a/zul-cv-*.tar.xz' >/dev/null || missing+=(tarball)
  compgen -G 'build-release/a/zul-cv-*-windows-x86_64.zip' >/dev/null || missing+=("Windows zip")
  if [ ${#missing[@]} -gt 0 ]; then
    echo "release: missing: ${missing[*]}"
    return 1
  fi
  mkdir -p build-release/unpacked
  tar -xf build-release/a/zul-cv-*.tar.xz -C build-release/unpacked
  (cd build-release/unpacked/zul-cv-* && [ ! -e .git ] && ZUL_CV_STAGES=default scripts/test.sh)
}

# The tests of tests/windows/, wine in a prefix of build-windows' own, then
# every DLL linked and the zip made again.
windows_stage() {
  build build-windows --toolchain cmake/x86_64-w64-mingw32.cmake -DZUL_CV_TESTS=ON
  run_ctest build-windows
  tests/windows/check_reproducible.sh build-windows
}

stage default default_stage
stage installed scripts/installed.sh
stage readme tests/readme_recipes.sh
stage asan asan_stage
stage fuzz fuzz_stage
stage valgrind valgrind_stage
stage tsan tsan_stage
stage aarch64 aarch64_stage
stage armhf armhf_stage
stage nofma nofma_stage
stage distro scripts/distro.sh
stage windows windows_stage
stage release release_stage
echo "=== stage times: $(IFS=,; echo "${timings[*]}" | sed 's/,/, /g')"
