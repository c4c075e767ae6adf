# shellcheck shell=bash
# Sourced by the test scripts that start long-running programs.

# stop PID...: TERM, up to 5 s to go, then KILL.
stop() {
  local pid tries
  for pid in "$@"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "$@"; do
    for ((tries = 0; tries < 50; tries++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
}
