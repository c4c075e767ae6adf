#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the default
# build in build/, then each checking stage in its own build directory.
#   asan      every test, plugins and tests built with ASan and UBSan
#   valgrind  each test program under valgrind's memcheck
#   tsan      every test built with TSan, the threads test above all
#   aarch64   cross-built for AArch64, the test programs under qemu-aarch64
#   nofma     each test program under qemu-x86_64 on a CPU without FMA
# ZUL_CV_STAGES, a comma-separated list (default,asan,...), runs only those.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --checks
stages=",${ZUL_CV_STAGES:-default,asan,valgrind,tsan,aarch64,nofma},"
jobs=$(nproc)
timings=()

# configure DIR CMAKE_ARGUMENT... then build, printing the log only on failure.
build() {
  local dir=$1
  shift
  mkdir -p "$dir"
  if ! { cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DZUL_CV_WERROR=ON "$@" &&
    cmake --build "$dir" --parallel "$jobs"; } >"$dir/build.log" 2>&1; then
    cat "$dir/build.log"
    echo "$dir: build failed"
    return 1
  fi
}

run_ctest() {
  ctest --test-dir "$1" --output-on-failure --parallel "$jobs" --timeout 900
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

default_stage() {
  scripts/build.sh -DZUL_CV_TESTS=ON
  run_ctest build
}

asan_stage() {
  build build-asan -DCMAKE_CXX_COMPILER=clang++ \
    -DZUL_CV_SANITIZE=address,undefined,float-cast-overflow
  ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_ctest build-asan
}

valgrind_stage() {
  build build-valgrind -DCMAKE_CXX_FLAGS=-g -DZUL_CV_TEST_LAUNCHER="$PWD/tests/memcheck.sh"
  run_ctest build-valgrind
}

tsan_stage() {
  build build-tsan -DCMAKE_CXX_COMPILER=clang++ -DZUL_CV_SANITIZE=thread
  TSAN_OPTIONS=halt_on_error=1 run_ctest build-tsan
}

aarch64_stage() {
  build build-aarch64 --toolchain cmake/aarch64-linux-gnu.cmake
  ZUL_TEST_FMA_PATH=hardware run_ctest build-aarch64
}

# Nehalem has SSE4.2 but neither AVX nor FMA: the plugins' dispatch must take
# the software fused multiply-add, and the instruction would be SIGILL there.
nofma_stage() {
  build build-nofma -DZUL_CV_TEST_LAUNCHER="qemu-x86_64;-cpu;Nehalem"
  ZUL_TEST_FMA_PATH=software run_ctest build-nofma
}

stage default default_stage
stage asan asan_stage
stage valgrind valgrind_stage
stage tsan tsan_stage
stage aarch64 aarch64_stage
stage nofma nofma_stage
echo "=== stage times: $(IFS=,; echo "${timings[*]}" | sed 's/,/, /g')"
