# A private JACK server for the tests that run plugins in jalv, sourced by
# test_jack.sh and test_presets.sh: the dummy backend (no sound card, no
# realtime scheduling, no D-Bus), never a server started on demand. Every
# wait has a time limit, and every process is stopped by its id. The server
# waits up to 10 s for a client, as a loaded machine may be slow.

# shellcheck source=tests/stop.sh
source "$(dirname "${BASH_SOURCE[0]}")/stop.sh"

# within SECONDS COMMAND...: true as soon as COMMAND succeeds, false when
# SECONDS have passed without.
within() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}

# start_jack_server LOG: starts the server zul-cv-test-<pid> at 48 kHz in
# blocks of 128 frames, its id in server_pid, and makes it the clients'
# only server; exits, with the server's log, if it does not come up.
start_jack_server() {
  export JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER="zul-cv-test-$$"
  local tool
  for tool in jackd jack_wait jalv stdbuf; do
    command -v "$tool" >/dev/null || { echo "FAIL $tool is not installed (scripts/setup.sh tests)"; exit 1; }
  done
  jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -t 10000 -d dummy -r 48000 -p 128 >"$1" 2>&1 &
  server_pid=$!
  if ! timeout 15 jack_wait -w -t 10 >/dev/null 2>&1; then
    echo "FAIL the JACK server did not start:"
    cat "$1"
    exit 1
  fi
}
