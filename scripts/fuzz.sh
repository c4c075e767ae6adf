#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS-PER-PLUGIN [PLUGIN...]]
# Builds the plugins and the differential fuzzer with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer into build-fuzz/, then fuzzes each staged
# plugin (all of them, or those named) against the reference model for the
# given time (default 20 s), once more on the software fused multiply-add
# where a plugin has it. Starts from the seeds in tests/fuzz/corpus/<plugin>/
# and keeps what it finds in build-fuzz/corpus/<plugin>/; a difference, a
# sanitizer report or a crash stops it with the input saved in
# build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true

# clang and its libFuzzer and sanitizer runtimes, from Debian's packages.
scripts/setup.sh fuzz

# The staging holds only what this build makes: a bundle left from another
# branch's build would be fuzzed as if it were this one's.
rm -rf build-fuzz/lv2 build-fuzz/lv2-software-fma
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Release -DZUL_CV_FUZZ=ON \
  -DZUL_CV_TESTS=OFF -DZUL_CV_TOOLS=OFF >/dev/null
cmake --build build-fuzz --parallel "$(nproc)" >/dev/null

fuzzer=build-fuzz/tests/fuzz/zul-cv-fuzz
plugins=("$@")
# The audio-port forms link the CV plugins' very objects: the CV plugins are
# fuzzed, and the reference tests replay the seeds through both forms.
if [ ${#plugins[@]} -eq 0 ]; then
  for bundle in build-fuzz/lv2/*.lv2; do
    [[ $bundle == *-audio.lv2 ]] || plugins+=("$(basename "$bundle" .lv2)")
  done
fi

mkdir -p build-fuzz/artifacts build-fuzz/logs
status=0
for plugin in "${plugins[@]}"; do
  stages=(build-fuzz/lv2)
  [ -d "build-fuzz/lv2-software-fma/$plugin.lv2" ] && stages+=(build-fuzz/lv2-software-fma)
  for stage in "${stages[@]}"; do
    label=$plugin${stage#build-fuzz/lv2}
    corpus=build-fuzz/corpus/$plugin
    log=build-fuzz/logs/$label.log
    mkdir -p "$corpus"
    if ZUL_FUZZ_PLUGIN=$plugin ZUL_FUZZ_STAGE_DIR=$stage \
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
      "$fuzzer" -max_total_time="$seconds" -timeout=20 -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/artifacts/$label-" "$corpus" "tests/fuzz/corpus/$plugin" \
      >"$log" 2>&1; then
      runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
      echo "fuzz: $label: ${runs:-?} inputs in ${seconds} s, no difference"
    else
      echo "fuzz: $label FAILED (log $log):"
      grep -E '^differential:|ERROR:|runtime error|^  ' "$log" | head -60
      ls build-fuzz/artifacts/"$label"-* 2>/dev/null | sed 's/^/fuzz: input saved in /'
      status=1
    fi
  done
done
exit $status
