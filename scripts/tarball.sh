#!/usr/bin/env bash
# tarball.sh TREE OUT: writes OUT, the xz-compressed tarball of the directory
# TREE, whose name is its top directory. Every entry in name order, owned by
# root, without group or other write permission, and dated by
# SOURCE_DATE_EPOCH (by default the newest entry of TREE/packaging/changelog);
# xz on one thread, whose output does not depend on the machine. Two runs
# over the same files give the same bytes.
set -euo pipefail
tree=$(realpath "$1")
out=$2
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  date=$(sed -n 's/^ -- .*>  \(.*\)$/\1/p' "$tree/packaging/changelog" | head -n 1)
  SOURCE_DATE_EPOCH=$(date -d "$date" +%s)
fi
tar -C "$(dirname "$tree")" --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 \
  --numeric-owner --mode=go-w \
  --pax-option=exthdr.name=%d/PaxHeaders/%f,delete=atime,delete=ctime \
  -cf - "$(basename "$tree")" | xz -T1 -9 >"$out"
