#!/usr/bin/env bash
# scripts/instructions.sh ZUL_COUNT PLUGIN [REGIME]
# Prints the instructions that the plugin's run executes per sample, counted by
# callgrind over 200 blocks of 256 frames with separate buffers (zul-count),
# in the given regime or the default one: a count, not a timing, so it holds
# on a shared machine.
set -euo pipefail
count=$1
plugin=$2
regime=${3:-}
blocks=200
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$out/callgrind" \
  --toggle-collect='*zul::frame::run<*' \
  "$count" "$plugin" "$blocks" ${regime:+"$regime"} >/dev/null 2>"$out/log" ||
  { cat "$out/log" >&2; exit 1; }
total=$(sed -n 's/^totals: //p' "$out/callgrind")
awk -v t="$total" -v b="$blocks" 'BEGIN { printf "%.2f\n", t / (b * 256) }'
