#!/usr/bin/env bash
# test_presets.sh STAGE_DIR URI_BASE
# Every factory preset of the staged bundles, both forms of each plugin, as
# hosts load it. A bundle's presets are those its manifest names, each read
# from its own file with sordi: its label and its port values. lilv's lv2info
# must list exactly their labels for the plugin. jalv, in a private JACK
# server (tests/jack_server.sh), loads each with its "preset URI" command,
# the code that jalv.gtk's --preset runs (Debian's console jalv has no such
# option); its "controls" command must then show every port of the preset at
# the preset's value and every other control where it was.
set -uo pipefail
export LC_ALL=C.UTF-8  # sort and join alike; labels in UTF-8
stage=$(cd "$1" && pwd)  # lilv takes only absolute paths
base=$2
scratch=$(mktemp -d)
passed=0
failed=0
export LV2_PATH=$stage HOME=$scratch/home  # the staged bundles alone; nothing of the user's
# shellcheck source=tests/jack_server.sh
source "$(dirname "$0")/jack_server.sh"

pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  printf 'FAIL %s\n' "$1"
  [ $# -lt 2 ] || printf '%s\n' "${@:2}"
}

clients=()
server_pid=""
cleanup() {
  [ ${#clients[@]} -eq 0 ] || stop "${clients[@]}"
  [ -z "$server_pid" ] || stop "$server_pid"
  [ -n "${KEEP:-}" ] || rm -rf "$scratch"
}
trap cleanup EXIT

rdf=http://www.w3.org/1999/02/22-rdf-syntax-ns#
rdfs=http://www.w3.org/2000/01/rdf-schema#
pset=http://lv2plug.in/ns/ext/presets#
lv2=http://lv2plug.in/ns/lv2core#

# The presets a manifest names, as "URI FILE" lines.
presets_of() {
  sordi "$1" "file://$(dirname "$1")/" | awk -v type="<${rdf}type>" -v preset="<${pset}Preset>" \
    -v also="<${rdfs}seeAlso>" '
      $2 == type && $3 == preset { uri[$1] = 1 }
      $2 == also { file[$1] = $3 }
      END { for (u in uri) { f = file[u]; gsub(/[<>]/, "", u); gsub(/^<file:\/\/|>$/, "", f); print u, f } }
    ' | sort
}

# A preset file's label, its \u escapes undone.
label_of() {
  local escaped
  escaped=$(sordi "$1" | awk -v label="<${rdfs}label>" '$2 == label' |
    sed 's/^[^"]*"//; s/"[^"]*$//')
  printf '%b\n' "$escaped"
}

# A preset file's port values, as "SYMBOL VALUE" lines.
values_of() {
  sordi "$1" | awk -v symbol="<${lv2}symbol>" -v value="<${pset}value>" '
      $2 == symbol { s[$1] = $3; gsub(/"/, "", s[$1]) }
      $2 == value { v[$1] = $3; sub(/^"/, "", v[$1]); sub(/".*/, "", v[$1]) }
      END { for (b in s) print s[b], v[b] }
    ' | sort
}

# lv2info's list of a plugin's presets: the lines under "Presets:".
lv2info_presets() {
  lv2info "$1" 2>&1 | awk '/^\tPresets:/ { on = 1; next }
                           on && /^\t +[^ ]/ { sub(/^\t +/, ""); print; next }
                           { on = 0 }' | sort
}

# jalv prints the controls, a line "SYMBOL = VALUE" each, when it starts, when
# it has applied a preset and for its "controls" command; its prompt, with no
# line end, shows only with the next line. values_printed LOG: how many such
# lines; printed LOG N: at least N; last_controls LOG N: the last N.
values_printed() { grep -c ' = ' "$1"; }
printed() { [ "$(values_printed "$1")" -ge "$2" ]; }
last_controls() { grep ' = ' "$1" | tail -n "$2" | sed 's/^> //' | awk '{ print $1, $3 }' | sort; }

# The number of control inputs lv2info reports.
control_inputs() {
  lv2info "$1" | awk '/^\tPort [0-9]+:$/ { if (c && i) n++; c = i = 0 }
                      /lv2core#ControlPort$/ { c = 1 } /lv2core#InputPort$/ { i = 1 }
                      END { if (c && i) n++; print n + 0 }'
}

# same EXPECTED ACTUAL: the same symbols, and values equal to 1e-6.
same() {
  awk 'NR == FNR { want[$1] = $2; next }
       { d = $2 - want[$1]; if (!($1 in want) || d > 1e-6 || d < -1e-6) bad = 1; seen[$1] = 1 }
       END { for (s in want) if (!(s in seen)) bad = 1; exit bad }' <(echo "$1") <(echo "$2")
}

start_jack_server "$scratch/jackd.log"

# Each bundle with presets: the list lv2info shows, then one jalv client
# that loads the presets one after the other.
count=0
for manifest in "$stage"/*.lv2/manifest.ttl; do
  bundle=$(dirname "$manifest")
  plugin=$(basename "$bundle" .lv2)
  uri="$base/$plugin"
  presets_of "$manifest" >"$scratch/$plugin.presets"
  [ -s "$scratch/$plugin.presets" ] || continue
  count=$((count + 1))

  expected=$(while read -r _ file; do label_of "$file"; done <"$scratch/$plugin.presets" | sort)
  listed=$(lv2info_presets "$uri")
  if [ "$listed" = "$expected" ]; then pass; else
    fail "lv2info lists the presets of $plugin otherwise than its manifest names them:" \
      "$(diff <(echo "$expected") <(echo "$listed"))"
  fi

  # jalv reads commands from a FIFO held open here; its output is written
  # line by line, and each command ends with a prompt.
  log=$scratch/$plugin.log
  mkfifo "$scratch/$plugin.in"
  exec {input}<>"$scratch/$plugin.in"
  stdbuf -oL jalv -x -n "presets-$count" "$uri" <"$scratch/$plugin.in" >"$log" 2>&1 &
  clients+=($!)
  n=$(control_inputs "$uri")
  lines=$n
  if ! within 30 printed "$log" "$lines"; then
    fail "jalv did not start $plugin:" "$(cat "$log")"
    continue
  fi
  now=$(last_controls "$log" "$n")
  # A host lists the presets, loading each, before one is chosen.
  echo presets >&"$input"
  while read -r preset file; do
    printf 'preset %s\ncontrols\n' "$preset" >&"$input"
    lines=$((lines + 2 * n))
    if ! within 10 printed "$log" "$lines"; then
      fail "jalv: no controls after preset $preset" "$(tail -n 20 "$log")"
      break
    fi
    # The preset's values over those the controls had.
    want=$(join -a 1 <(echo "$now") <(values_of "$file") | awk '{ print $1, (NF > 2 ? $3 : $2) }')
    got=$(last_controls "$log" "$n")
    if same "$want" "$got"; then pass; else
      fail "jalv: after preset $preset the controls of $plugin are" "$got" "instead of" "$want"
    fi
    now=$got
  done <"$scratch/$plugin.presets"
  if grep -qiE 'error|fail|missing' "$log"; then
    fail "jalv complained running $plugin:" "$(grep -iE 'error|fail|missing' "$log")"
  fi
done
[ "$count" -gt 0 ] || fail "no bundle in $stage names a preset"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
