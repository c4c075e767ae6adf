#!/usr/bin/env bash
# test_lv2info.sh PORT_TABLE_DUMP STAGE_DIR URI_BASE
# Holds what lilv's lv2info shows of every staged plugin against the port
# table (tests/port_table.hpp, printed by port_table_dump). Its report names
# each port's symbol, type and direction, its group, and a control port's
# range, default, toggled or enumeration (with scale points); the description it
# writes with -p gives every port's range and default, CV ports too, and its
# unit. Both must match the table port for port, with no port more or less.
set -uo pipefail
dump=$1
stage=$(cd "$2" && pwd)  # lilv takes only absolute paths
base=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export LV2_PATH=$stage
passed=0
failed=0

# The report's ports as "INDEX SYMBOL DIRECTION KIND DEFAULT MIN MAX HINT GROUP",
# with - for a range the report does not show (it shows none for CV ports)
# and for no group; a group is its URI's fragment.
report_ports() {
  awk '
    function flush() {
      if (index_ != "") {
        if (hint == "enumeration" && !scale) hint = "enumeration-without-scale-points"
        print index_, symbol, direction, kind, def, min, max, hint, group
      }
      index_ = ""; symbol = direction = kind = "?"; def = min = max = group = "-"; hint = "none"
      scale = 0
    }
    /^\tPort [0-9]+:$/ { flush(); index_ = $2; sub(/:/, "", index_); next }
    index_ == "" { next }
    /lv2core#CVPort$/ { kind = "cv" }
    /lv2core#ControlPort$/ { kind = "control" }
    /lv2core#InputPort$/ { direction = "input" }
    /lv2core#OutputPort$/ { direction = "output" }
    /lv2core#toggled$/ { hint = "toggled" }
    /lv2core#enumeration$/ { hint = "enumeration" }
    /^\t\tScale Points:$/ { scale = 1 }
    /^\t\tSymbol:/ { symbol = $2 }
    /^\t\tGroup:/ { group = $2; sub(/.*#/, "", group) }
    /^\t\tDefault:/ { def = sprintf("%g", $2) }
    /^\t\tMinimum:/ { min = sprintf("%g", $2) }
    /^\t\tMaximum:/ { max = sprintf("%g", $2) }
    END { flush() }
  ' "$1" | sort -n
}

# The description's ports as "INDEX SYMBOL DIRECTION KIND DEFAULT MIN MAX UNIT".
described_ports() {
  awk '
    function flush() {
      if (inside) print index_, symbol, direction, kind, def, min, max, unit
      index_ = symbol = direction = kind = def = min = max = "?"; unit = "-"
    }
    /lv2:port \[$/ { flush(); inside = 1; next }
    /^\t\] , \[$/ { flush(); next }
    /^\t\] [;.]$/ { flush(); inside = 0; next }
    !inside { next }
    /^\t\tlv2:index / { index_ = $2 }
    /^\t\tlv2:symbol / { symbol = $2; gsub(/"/, "", symbol) }
    /^\t\tlv2:default / { def = sprintf("%g", $2) }
    /^\t\tlv2:minimum / { min = sprintf("%g", $2) }
    /^\t\tlv2:maximum / { max = sprintf("%g", $2) }
    /^\t\t<http:\/\/lv2plug.in\/ns\/extensions\/units#unit> / {
      unit = $2; sub(/>.*/, "", unit); sub(/.*[#\/]/, "", unit)
    }
    /^\t\ta lv2:|^\t\t\tlv2:(Input|Output)Port/ {
      if ($0 ~ /lv2:CVPort/) kind = "cv"
      if ($0 ~ /lv2:ControlPort/) kind = "control"
      if ($0 ~ /lv2:InputPort/) direction = "input"
      if ($0 ~ /lv2:OutputPort/) direction = "output"
    }
  ' "$1" | sort -n
}

# compare WHAT EXPECTED_FILE ACTUAL_FILE
compare() {
  if diff -u "$2" "$3" >"$scratch/diff"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $1 (- port table, + lv2info):"
    tail -n +3 "$scratch/diff"
  fi
}

table=$("$dump") || { echo "FAIL $dump did not run"; exit 1; }
for plugin in $(cut -d' ' -f1 <<<"$table" | uniq); do
  uri="$base/$plugin"
  rows=$(awk -v p="$plugin" '$1 == p' <<<"$table")
  if ! lv2info "$uri" >"$scratch/report" 2>"$scratch/err"; then
    failed=$((failed + 1))
    echo "FAIL lv2info $uri exited non-zero: $(cat "$scratch/err")"
    continue
  fi
  rm -f "$scratch/description.ttl"
  lv2info -p "$scratch/description.ttl" "$uri" >/dev/null 2>&1

  awk '{ r = $5 == "control"; print $2, $3, $4, $5, r ? $6 : "-", r ? $7 : "-", r ? $8 : "-", $9, $11 }' \
    <<<"$rows" >"$scratch/expected"
  report_ports "$scratch/report" >"$scratch/actual"
  compare "$plugin: ports in the report" "$scratch/expected" "$scratch/actual"

  awk '{ print $2, $3, $4, $5, $6, $7, $8, $10 }' <<<"$rows" >"$scratch/expected"
  described_ports "$scratch/description.ttl" >"$scratch/actual"
  compare "$plugin: ports in the description (-p)" "$scratch/expected" "$scratch/actual"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
