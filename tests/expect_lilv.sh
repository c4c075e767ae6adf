#!/usr/bin/env bash
# expect_lilv.sh [--no-load] LV2_DIR STAGE_DIR URI_BASE PLUGIN...
# Holds an installed LV2 directory against the staged bundles, as a host sees
# them: with LV2_PATH set to LV2_DIR alone, lilv's lv2ls lists exactly our
# plugins, lv2info reports each just as it reports the staged one (but for
# the directory), and lv2bench loads and runs every one of them. --no-load
# leaves out lv2bench, for libraries of another processor: lv2ls and lv2info
# read the Turtle alone and never open a library.
set -uo pipefail
load=1
if [ "$1" = --no-load ]; then
  load=0
  shift
fi
dir=$(cd "$1" && pwd)  # lilv takes only absolute paths
stage=$(cd "$2" && pwd)
base=$3
shift 3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
err=$scratch/err
failed=0
fail() {
  failed=$((failed + 1))
  echo "FAIL $dir: $*" >&2
}

expected=$(printf "$base/%s\n" "$@" | sort)

found=$(LV2_PATH=$dir lv2ls 2>"$err" | sort)
[ -s "$err" ] && fail "lv2ls said: $(cat "$err")"
[ "$found" = "$expected" ] || fail "lv2ls lists$(printf '\n  %s' $found)
instead of$(printf '\n  %s' $expected)"

# lv2info's report with the bundle directory taken out, one line per value
# and prefixed with its port and label: lilv lists the values of one
# property (the port types, the data files) in no fixed order.
report() {
  local lv2_dir=$1 uri=$2 out
  out=$(LV2_PATH=$lv2_dir lv2info "$uri" 2>"$err") || fail "lv2info $uri exited with $?"
  [ -s "$err" ] && fail "lv2info $uri said: $(cat "$err")"
  awk '
    /^\tPort [0-9]+:$/ { port = $0; next }
    /^\t+[A-Z][A-Za-z ]*:/ {
      label = $0; sub(/:.*/, "", label); sub(/^\t+/, "", label)
      value = $0; sub(/^[^:]*: */, "", value)
      print port "|" label "|" value; next
    }
    /^\t+ +[^ ]/ { value = $0; sub(/^[\t ]+/, "", value); print port "|" label "|" value; next }
    { print port "|" $0 }
  ' <<<"${out//"$lv2_dir"/LV2_DIR}" | sort
}

for plugin in "$@"; do
  uri="$base/$plugin"
  report "$dir" "$uri" >"$scratch/installed"
  report "$stage" "$uri" >"$scratch/staged"
  if ! grep -q "^|Binary|file://LV2_DIR/$plugin.lv2/$plugin.so\$" "$scratch/installed"; then
    fail "lv2info finds no library of $plugin in $dir/$plugin.lv2"
  elif ! cmp -s "$scratch/staged" "$scratch/installed"; then
    fail "lv2info reports $plugin otherwise than staged:
$(diff "$scratch/staged" "$scratch/installed")"
  fi
done

# lv2bench loads every plugin it finds, runs it, and prints a line for each;
# one it cannot load or run it leaves out, with a word on stderr.
if [ "$load" -eq 1 ]; then
  ran=$(LV2_PATH=$dir lv2bench -b 64 -n 640 2>"$err" | awk '{ print $2 }' | sort)
  [ -s "$err" ] && fail "lv2bench said: $(cat "$err")"
  [ "$ran" = "$expected" ] || fail "lv2bench ran$(printf '\n  %s' $ran)"
fi

[ "$failed" -eq 0 ]
