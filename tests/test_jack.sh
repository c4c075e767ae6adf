#!/usr/bin/env bash
# test_jack.sh PORT_TABLE_DUMP WAV_PROBE STAGE_DIR URI_BASE
# Runs the plugins in a real-time host: a private JACK server on its dummy
# backend (no sound card, no realtime scheduling, no D-Bus), each plugin of
# the port table in jalv, with its CV ports as JACK ports. Then CV flows
# between two plugins over JACK connections: zul-cv-control (smoothing off)
# makes a constant -0.3, zul-cv-abs turns it into 0.3, and zul-cv-switch1
# (selector 1) sends it to output B; jack_rec records the outputs. Every wait
# has a time limit, and every process started here is stopped by its id. The
# server waits up to 10 s for a client, as a loaded machine may be slow.
set -uo pipefail
dump=$1
probe=$2
stage=$(cd "$3" && pwd)  # lilv takes only absolute paths
base=$4
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

clients=()  # jalv process ids
names=()    # and their plugins
server_pid=""
cleanup() {
  [ ${#clients[@]} -eq 0 ] || stop "${clients[@]}"
  [ -z "$server_pid" ] || stop "$server_pid"
  exec 3>&-
  rm -rf "$scratch"
}
trap cleanup EXIT

for tool in jack_lsp jack_connect jack_rec; do
  command -v "$tool" >/dev/null || { echo "FAIL $tool is not installed (scripts/setup.sh tests)"; exit 1; }
done
start_jack_server "$scratch/jackd.log"

# jalv reads commands from its input: a FIFO held open here never ends it.
mkfifo "$scratch/stdin"
exec 3<>"$scratch/stdin"

table=$("$dump") || { echo "FAIL $dump did not run"; exit 1; }
declare -A settings=(
  [zul-cv-control]="-c control=-0.3 -c smoothing=0"
  [zul-cv-abs]="-c enable=1"
  [zul-cv-switch1]="-c selector=1"
)
plugins=$(cut -d' ' -f1 <<<"$table" | uniq)
for plugin in $plugins; do
  client=${plugin#zul-cv-}
  # shellcheck disable=SC2086  # the settings are separate words
  jalv -i -x -n "$client" ${settings[$plugin]-} "$base/$plugin" \
    <"$scratch/stdin" >"$scratch/$client.log" 2>&1 &
  clients+=($!)
  names+=("$plugin")
done

# The CV ports of the table, with their directions, as jack_lsp -p shows them.
expected_ports() {
  awk '$5 == "cv" { sub(/^zul-cv-/, "", $1); print $1 ":" $3, $4 }' <<<"$table" | sort
}
jack_ports() {
  jack_lsp -p | awk '
    /^[^\t]/ { port = $0 }
    /^\tproperties: / { split($2, p, ","); if (port !~ /^system:/) print port, p[1] }
  ' | sort
}
ports_up() { [ "$(jack_ports)" = "$(expected_ports)" ]; }

if within 30 ports_up; then
  pass
else
  fail "the jalv clients' JACK ports are not the CV ports of the table:" \
    "$(diff <(expected_ports) <(jack_ports))"
  for log in "$scratch"/*.log; do printf '%s:\n%s\n' "$log" "$(cat "$log")"; done
  exit 1
fi

connect() {
  if jack_connect "$1" "$2"; then pass; else fail "jack_connect $1 $2"; fi
}
connect control:output abs:input
connect control:output switch1:input

# record PORT: one second of PORT into $scratch/PORT.wav, as 16-bit PCM.
record() {
  timeout 20 jack_rec -f "$scratch/${1/:/.}.wav" -d 1 -b 16 "$1" >"$scratch/${1/:/.}.log" 2>&1
}

# holds PORT VALUE: past jack_rec's first blocks, every frame of the last
# recording of PORT is VALUE within two steps of 16-bit PCM (2/32768); prints
# what was recorded otherwise.
holds() {
  local file="$scratch/${1/:/.}.wav" runs
  runs=$("$probe" runs "$file" 1024 47000 2>&1) || { echo "$runs"; return 1; }
  awk -v runs="$runs" -v want="$2" 'BEGIN {
       if (split(runs, r, " ") != 1) exit 1
       split(r[1], v, "*"); d = v[1] - want
       exit !(v[2] == 47000 - 1024 && d < 2 / 32768 && d > -2 / 32768)
     }' || { cut -c1-200 <<<"$runs"; return 1; }
}

# record_all: one second of every recorded port at once; false, with the
# reason, where a recorder failed or a recording is not what it should be.
recorded=(abs:output switch1:output_a switch1:output_b)
declare -A wanted=([abs:output]=0.3 [switch1:output_a]=0 [switch1:output_b]=-0.3)
record_all() {
  local pids=() i port ok=0
  for port in "${recorded[@]}"; do
    record "$port" &
    pids+=($!)
  done
  for i in "${!pids[@]}"; do
    wait "${pids[$i]}" || {
      echo "jack_rec of ${recorded[$i]} failed: $(tail -n 3 "$scratch/${recorded[$i]/:/.}.log")"
      ok=1
    }
  done
  for port in "${recorded[@]}"; do
    holds "$port" "${wanted[$port]}" >"$scratch/holds.out" ||
      { echo "$port: expected ${wanted[$port]} throughout, recorded $(cat "$scratch/holds.out")"; ok=1; }
  done
  return $ok
}

# A recorder that starts late on a loaded machine misses frames: a second
# recording decides.
if record_all >"$scratch/first.out" || record_all >"$scratch/second.out"; then
  pass
else
  fail "the recordings, twice:" "$(cat "$scratch/first.out" "$scratch/second.out")" \
    "the server's log ends:" "$(tail -n 5 "$scratch/jackd.log")"
fi

# Every client is still running after all this.
for i in "${!clients[@]}"; do
  if kill -0 "${clients[$i]}" 2>/dev/null; then pass; else fail "jalv running ${names[$i]} ended"; fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
