#!/usr/bin/env bash
# test_render_emulated.sh ZUL_RENDER WAV_PROBE STAGE_DIR URI_BASE PLUGIN...
# A cross build's zul-render, run through EMULATOR (qemu-user, with the
# target's multiarch lilv and libsndfile), against the staged bundles: it
# says its version, lists exactly the PLUGINs and their audio forms, renders
# switch1 with a generator, a control and a sound-file input, and the WAV
# files hold the values (read back by the target's wav_probe, emulated too).
# With EMULATED_LILV_LISTS=0 (a 32-bit target) only --version and --help.
# test_render.sh does not run emulated: it loads Debian's LV2 examples, the
# machine's own libraries, preloads its faults into what would be qemu, and
# bounds the peak memory that would be qemu's.
set -uo pipefail
read -r -a emulator <<<"${EMULATOR:?names the command that runs programs of the target}"
render=$(realpath "$1")
probe=$(realpath "$2")
stage=$(realpath "$3")
base=$4
shift 4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
export LV2_PATH=$stage
passed=0
failed=0
expect() {  # expect NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf "FAIL %s: expected '%s', got '%s'\n" "$1" "$2" "$3"
  fi
}
zul_render() { "${emulator[@]}" "$render" "$@"; }
runs() { "${emulator[@]}" "$probe" runs "$@"; }

expect "version" "zul-render" "$(zul_render --version | cut -d ' ' -f 1)"
expect "help" "0" "$(zul_render --help >/dev/null; echo $?)"
if [ "${EMULATED_LILV_LISTS:-1}" = 0 ]; then
  echo "SKIP listing and rendering: this lilv finds no plugin under qemu here (tests/CMakeLists.txt)"
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
fi
expect "list" "$(printf '%s\n' "$@" "${@/%/-audio}" | LC_ALL=C sort)" \
  "$(zul_render --list | sed "s|^$base/||; s/ .*//" | LC_ALL=C sort)"

zul_render switch1 --rate 1000 --block 10 --duration 0.1 --out d --input input=-0.25 \
  --at 0.05 selector=1 2>err.txt
expect "render" "0|" "$?|$(grep -v '^zul-render: wrote' err.txt)"
expect "input" "-0.25*100" "$(runs d/input.wav)"
expect "output_a" "-0.25*50 0*50" "$(runs d/output_a.wav)"
expect "output_b" "0*50 -0.25*50" "$(runs d/output_b.wav)"

"${emulator[@]}" "$probe" write in.wav 1000 1 0.5 -1 2
zul_render abs --rate 1000 --block 2 --duration 0.003 --out a --input input=in.wav 2>err.txt
expect "sound file input" "0|0.5*1 1*1 2*1" "$?|$(runs a/output.wav)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
