#!/usr/bin/env bash
# test_lv2bench.sh STAGE_DIR URI_BASE PLUGIN...
# Runs every staged plugin in lilv's lv2bench, a host of someone else's that
# connects each audio and CV port to a buffer of its own and each control
# port to its default. lv2bench leaves out, with a line on stderr, any
# plugin it cannot run, and still exits 0: so each run must exit 0, print
# nothing on stderr, and report that plugin, for two block lengths.
set -uo pipefail
stage=$(cd "$1" && pwd)  # lilv takes only absolute paths
base=$2
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
err=$scratch/err
export LV2_PATH=$stage
passed=0
failed=0

for plugin in "$@"; do
  uri="$base/$plugin"
  for block in 1 512; do
    frames=$((block * 96))
    out=$(lv2bench -f -b "$block" -n "$frames" "$uri" 2>"$err")
    status=$?
    # -f prints a header line, then "BLOCK FRAMES SECONDS URI".
    if [ $status -ne 0 ]; then
      failed=$((failed + 1))
      echo "FAIL $plugin, blocks of $block: lv2bench exited with $status: $(cat "$err")"
    elif [ -s "$err" ]; then
      failed=$((failed + 1))
      echo "FAIL $plugin, blocks of $block: lv2bench said: $(cat "$err")"
    elif ! grep -Eq "^$block $frames [0-9]+\.[0-9]+ $uri\$" <<<"$out"; then
      failed=$((failed + 1))
      echo "FAIL $plugin, blocks of $block: no report of it in: $out"
    else
      passed=$((passed + 1))
    fi
  done
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
