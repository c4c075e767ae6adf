#!/usr/bin/env bash
# check_poles.sh GLIBC_POLES WINE_PREFIX HOST STAGE_DIR...
# zul-cv-control's pole at every whole rate from 1 to 384000, as each staged
# DLL computes it under wine (HOST --poles), against the build machine's
# glibc (GLIBC_POLES): the same bits at every rate, whatever exp MinGW links.
set -euo pipefail
here=$(dirname "$0")
glibc_poles=$1 prefix=$2 host=$3
shift 3
out=$(dirname "$host")/poles
mkdir -p "$out"
"$glibc_poles" >"$out/glibc.txt"
status=0
for stage in "$@"; do
  list=$out/$(basename "$stage").txt
  "$here/wine.sh" "$prefix" "$host" --poles "$list" "$stage"
  differing=$(paste -d ' ' "$out/glibc.txt" "$list" | awk '$1 "" != $2 "" { n++ } END { print n + 0 }')
  lines=$(wc -l <"$list")
  if [ "$differing" -ne 0 ] || [ "$lines" -ne 384000 ]; then
    echo "$stage: $lines rates, $differing poles differ from glibc's; the first (rate glibc DLL):"
    paste -d ' ' "$out/glibc.txt" "$list" | awk '$1 "" != $2 "" && n++ < 5 { print NR, $1, $2 }'
    status=1
  else
    echo "$stage: every pole as glibc's, rates 1 to 384000"
  fi
done
exit $status
