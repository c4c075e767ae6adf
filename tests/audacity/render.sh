#!/usr/bin/env bash
# render.sh [--keep DIR] JOBS
# Renders LV2 plugins in Audacity, headless: every job of the file JOBS in
# one start of Audacity, on a private Xvfb display, driven through its
# scripting pipe (mod-script-pipe). A job is a line
#   URI INPUT FRAMES OUT SETTINGS
# URI     an LV2 plugin that Audacity lists as an effect (INPUT a WAV
#         file, FRAMES unused) or as a generator (INPUT '-': FRAMES frames at
#         48000 Hz); or the word 'copy': INPUT imported and exported with no
#         effect, which is Audacity's own copy of the file
# INPUT   mono, or stereo for a plugin with two audio inputs: Audacity feeds
#         a stereo track's channels to the first two
# OUT     written as mono 32-bit float WAV (a copy has INPUT's channels); a
#         plugin with more than one output gives its first, as to a mono
#         track
# SETTINGS  SYMBOL=VALUE,... for control ports, '-' for their defaults
# Blank lines and lines that start with '#' are skipped. Paths may not hold
# blanks. Audacity runs with its own home and configuration in a scratch
# directory (--keep DIR keeps them there, for a look afterwards): the
# user's are not touched, but its scripting pipes are one pair for the
# user, so runs of render.sh wait for each other, and an Audacity the user
# has open with mod-script-pipe would be in the way. Each reply is awaited
# for at most AUDACITY_WAIT seconds (default 60), the start for
# AUDACITY_START_WAIT (default 120); AUDACITY_TRACE=1 shows the commands.
# Prints a line for each job and exits 0 when every job rendered, 1 when
# any failed (named with Audacity's answer), 2 for a bad command line.
# LV2_PATH is read as by any LV2 host.
set -uo pipefail

usage() {
  echo "usage: render.sh [--keep DIR] JOBS" >&2
  exit 2
}
keep=""
if [ "${1:-}" = --keep ]; then
  [ $# -ge 2 ] || usage
  keep=$2
  shift 2
fi
{ [ $# -eq 1 ] && [ -r "$1" ]; } || usage
jobs_file=$1
answer_wait=${AUDACITY_WAIT:-60}
start_wait=${AUDACITY_START_WAIT:-120}
trace=${AUDACITY_TRACE:-}
rate=48000  # generators run at the rate of the inputs

for tool in audacity Xvfb lv2info flock; do
  command -v "$tool" >/dev/null ||
    { echo "render.sh: $tool is not installed (scripts/setup.sh tests)" >&2; exit 1; }
done
plugin_module=/usr/lib/audacity/modules/mod-script-pipe.so
[ -r "$plugin_module" ] || { echo "render.sh: no $plugin_module" >&2; exit 1; }

if [ -n "$keep" ]; then
  mkdir -p "$keep" && scratch=$(cd "$keep" && pwd) || exit 1
else
  scratch=$(mktemp -d) || exit 1
fi

# shellcheck source=tests/stop.sh
source "$(dirname "${BASH_SOURCE[0]}")/../stop.sh"

# Audacity's scripting pipes, one pair for the user
to=/tmp/audacity_script_pipe.to.$(id -u)
from=/tmp/audacity_script_pipe.from.$(id -u)
audacity_pid=""
xvfb_pid=""
cleanup() {
  local pipe
  exec 3>&- 4<&-
  [ -z "$audacity_pid" ] || stop "$audacity_pid"
  [ -z "$xvfb_pid" ] || stop "$xvfb_pid"
  # Audacity makes the pipes anew when a client leaves: those made after
  # the start of ours are left by it.
  if [ -e "$scratch/mark" ]; then
    for pipe in "$to" "$from"; do
      [ ! -p "$pipe" ] || [ ! "$pipe" -nt "$scratch/mark" ] || rm -f "$pipe"
    done
  fi
  exec 9>&-
  [ -n "$keep" ] || rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

failed=0
fail() {
  failed=$((failed + 1))
  printf 'FAIL %s\n' "$1"
  shift
  local more
  for more in "$@"; do [ -z "$more" ] || printf '%s\n' "$more"; done
}

# --- the jobs ------------------------------------------------------------------
# job_* arrays, one entry a job; a plugin's facts in plugin_* by URI.
job_uri=() job_in=() job_frames=() job_out=() job_settings=() job_line=()
declare -A plugin_name plugin_author plugin_controls
n=0
while read -r uri in frames out settings extra; do
  n=$((n + 1))
  case $uri in '' | '#'*) continue ;; esac
  if [ -z "$settings" ] || [ -n "$extra" ]; then
    fail "$jobs_file:$n: not URI INPUT FRAMES OUT SETTINGS"
    continue
  fi
  if [ "$uri" != copy ] && [ -z "${plugin_name[$uri]+set}" ]; then
    # "symbol name default" for each control input, the name's blanks as '_'
    info=$(lv2info "$uri" 2>/dev/null)
    name=$(sed -n 's/^\tName: *//p' <<<"$info" | head -1)
    if [ -z "$name" ]; then
      fail "$jobs_file:$n: lilv finds no plugin $uri (LV2_PATH=${LV2_PATH-})"
      continue
    fi
    plugin_name[$uri]=$name
    plugin_author[$uri]=$(sed -n 's/^\tAuthor: *//p' <<<"$info" | head -1)
    plugin_controls[$uri]=$(awk '
      function flush() { if (control && input) print symbol, name, default_ }
      /^\tPort [0-9]+:$/ { flush(); control = input = 0; symbol = name = ""; default_ = 0 }
      /lv2core#ControlPort$/ { control = 1 }
      /lv2core#InputPort$/ { input = 1 }
      /^\t\tSymbol:/ { symbol = $2 }
      /^\t\tName:/ { sub(/^\t\tName: */, ""); gsub(/ /, "_"); name = $0 }
      /^\t\tDefault:/ { default_ = $2 + 0 }
      END { flush() }' <<<"$info")
  fi
  job_uri+=("$uri") job_in+=("$in") job_frames+=("$frames") job_out+=("$out")
  job_settings+=("$settings") job_line+=("$n")
done <"$jobs_file"
[ ${#job_uri[@]} -gt 0 ] || { echo "render.sh: no jobs in $jobs_file" >&2; exit 1; }

# since TIME: seconds since the $EPOCHREALTIME TIME, to the tenth.
since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }'; }
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }

# --- Audacity's configuration ------------------------------------------------------
# Audacity 3.2 takes no parameters for an LV2 effect from a script command
# (it answers OK and runs the current settings): each job's controls go into
# a user preset of its own, written here before the start and chosen by
# name in the command. Audacity keys a control by its port's name, blanks
# as '_', in the effect's group of pluginsettings.cfg, which is named after
# "Effect_LV2_<author>_<name>" in base64 (its '=' escaped for wxConfig).
home=$scratch/home
config=$home/.config/audacity
mkdir -p "$config" "$scratch/temp" || exit 1
{
  echo "PrefsVersion=1.1.1r1"  # else it takes this for an old configuration
  printf '[Version]\nMajor=3\nMinor=2\nMicro=4\n'
  echo "[Module]"
  echo "mod-script-pipe=1"
  # A module whose path or date differs from these counts as new, and is
  # asked about instead of loaded.
  echo "[ModulePath]"
  echo "mod-script-pipe=$plugin_module"
  echo "[ModuleDateTime]"
  echo "mod-script-pipe=$(date -r "$plugin_module" +%Y-%m-%dT%H:%M:%S)"
  printf '[Directories]\nTempDir=%s\n' "$scratch/temp"
  printf '[SamplingRate]\nDefaultProjectSampleRate=%s\n' "$rate"
  printf '[GUI]\nShowSplashScreen=0\n'
  # WAV as 32-bit float (libsndfile's subtype), not 16-bit with dither
  printf '[FileFormats/ExportFormat_SF1_Type]\nWAV_10000=6\n'
} >"$config/audacity.cfg"

echo "pluginsettingsversion=1.0" >"$config/pluginsettings.cfg"
declare -A value  # a job's "Name=\"VALUE\"" by symbol
for i in "${!job_uri[@]}"; do
  uri=${job_uri[$i]}
  [ "$uri" != copy ] || continue
  value=()
  while read -r symbol name default; do
    [ -z "$symbol" ] || value[$symbol]="$name=\"$default\""
  done <<<"${plugin_controls[$uri]}"
  bad=""
  if [ "${job_settings[$i]}" != - ]; then
    for pair in ${job_settings[$i]//,/ }; do
      symbol=${pair%%=*}
      if [ -z "${value[$symbol]+set}" ] || [ "$pair" = "$symbol" ]; then
        bad+=" $pair"
      else
        value[$symbol]="${value[$symbol]%%=*}=\"${pair#*=}\""
      fi
    done
  fi
  if [ -n "$bad" ]; then
    fail "job ${job_line[$i]} ($uri): no such control input:$bad"
    job_uri[i]=""
    continue
  fi
  key=$(printf 'Effect_LV2_%s_%s' "${plugin_author[$uri]:-n/a}" "${plugin_name[$uri]}" | base64 -w0)
  {
    printf '[pluginsettings/base64\\:%s/private/UserPresets/zul-job-%s]\n' "${key//=/\\=}" "$i"
    printf 'Parameters=%s\n' "$(printf '%s\n' "${value[@]}" | sort | tr '\n' ' ' | sed 's/ $//')"
  } >>"$config/pluginsettings.cfg"
done

# --- Xvfb and Audacity ---------------------------------------------------------------
# One Audacity of ours at a time: two would take each other's pipes.
exec 9>"/tmp/zul-cv-audacity.$(id -u).lock"
flock -w "$start_wait" 9 || { fail "another render.sh kept Audacity for $start_wait s"; exit 1; }
# Xvfb picks a free display and tells it on a descriptor.
Xvfb -displayfd 5 -nolisten tcp -screen 0 1280x1024x24 5>"$scratch/display" \
  >"$scratch/xvfb.log" 2>&1 9>&- &
xvfb_pid=$!
for ((tries = 0; tries < 100; tries++)); do
  [ -s "$scratch/display" ] || ! kill -0 $xvfb_pid 2>/dev/null && break
  sleep 0.1
done
display=$(head -1 "$scratch/display" 2>/dev/null)
[ -n "$display" ] || { fail "Xvfb did not start" "$(tail -5 "$scratch/xvfb.log")"; exit 1; }

# Audacity makes its pipes as it starts, and so does, some seconds later,
# the child that it starts to check new plugins (all are new in a fresh
# configuration), over the parent's: only the parent answers, through the
# pair it made first. Ours are the first made after this mark, and ones
# that the Audacity started here holds open.
touch "$scratch/mark"
# Audacity adds ~/.lv2 (here in its own home) and the system's LV2
# directories to LV2_PATH, and lilv, given two copies of a plugin, reads the
# first one's Turtle but may load the other one's library: a copy installed
# there would be what Audacity runs. So it runs in a mount namespace of its
# own in which each of those directories is an empty one. A user namespace
# lets any user make it; a second one gives Audacity back the user's id,
# which names its pipes. Where namespaces are not allowed, a copy of a
# job's plugin in one of those directories fails the run instead.
system_lv2=()
for dir in /usr/local/lib64/lv2 /usr/lib64/lv2 /usr/local/lib/lv2 /usr/lib/lv2; do
  [ ! -d "$dir" ] || system_lv2+=("$dir")
done
mkdir -p "$scratch/empty"
# shellcheck disable=SC2016  # expanded by the inner bash
alone=(unshare --mount --map-root-user bash -c \
  'for dir in "${@:2:$1}"; do mount --bind "$0" "$dir" || exit 1; done
   shift $(($1 + 1)); exec unshare --user --map-user="$1" --map-group="$2" "${@:3}"' \
  "$scratch/empty" ${#system_lv2[@]} "${system_lv2[@]}" "$(id -u)" "$(id -g)")
if ! "${alone[@]}" true 2>/dev/null; then
  alone=()
  for uri in "${job_uri[@]}"; do
    case $uri in '' | copy) continue ;; esac
    for dir in "${system_lv2[@]}"; do
      copy=$(grep -lsF "<$uri>" "$dir"/*/manifest.ttl | head -1)
      [ -z "$copy" ] || { fail "Audacity would run ${copy%/manifest.ttl}, not $uri from LV2_PATH: \
Audacity adds $dir to LV2_PATH, and unshare, which hides it, is not allowed here"; exit 1; }
    done
  done
fi
ulimit -c 0  # the child ends by a segmentation fault: no core file of it
started=$SECONDS
launched=$EPOCHREALTIME
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
  XDG_CACHE_HOME=$home/.cache DISPLAY=:$display "${alone[@]}" audacity </dev/null \
  >"$scratch/audacity.log" 2>&1 9>&- &
audacity_pid=$!

audacity_gone() {
  local code
  wait $audacity_pid
  code=$?
  audacity_pid=""
  fail "Audacity ended (status $code) $1" \
    "$(grep -v -e Gdk-CRITICAL -e '^$' "$scratch/audacity.log" | tail -10)"
  exit 1
}
waited() {
  kill -0 $audacity_pid 2>/dev/null || audacity_gone "$1"
  [ $((SECONDS - started)) -lt "$start_wait" ] ||
    { fail "Audacity did not answer in $start_wait s: $1"; exit 1; }
  sleep 0.1
}
# holds_pipe: Audacity's process has the pipe of descriptor 3 open.
holds_pipe() {
  local ours fd
  ours=$(stat -L -c %d:%i /dev/fd/3)
  for fd in "/proc/$audacity_pid/fd/"*; do
    [ "$(stat -L -c %d:%i "$fd" 2>/dev/null)" != "$ours" ] || return 0
  done
  return 1
}
new_pipe() { [ -p "$1" ] && [ "$1" -nt "$scratch/mark" ]; }
until new_pipe "$to" && new_pipe "$from"; do waited "before it made its scripting pipes"; done
# Both opened read-write: neither open waits for Audacity, whose own open
# then returns. It reads up to the pipe's end: one connection for all.
exec 3<>"$to" 4<>"$from"
for ((tries = 0; tries < 50; tries++)); do
  holds_pipe && break
  waited "before it opened its scripting pipe"
done
holds_pipe || { fail "$to is another program's"; exit 1; }

# A reply is the command's message (a blank line when it has none), the
# line "BatchCommand finished: STATUS" and a blank line, written at once.
# reply WAIT [LINE]: reads one, LINE its first line if already read; answer
# holds the message, status the STATUS. False when that is not OK, and when
# no whole reply comes within WAIT seconds.
answer="" status=""
reply() {
  local deadline=$((SECONDS + $1)) line partial="" code
  answer="" status=""
  if [ $# -gt 1 ]; then
    line=$2
  else
    line=""
    until IFS= read -r -t 1 line <&4; do
      partial+=$line  # no whole line yet: keep what came
      kill -0 $audacity_pid 2>/dev/null || audacity_gone "while its reply was awaited"
      [ $SECONDS -lt $deadline ] || { status="no reply within $1 s"; return 1; }
    done
    line=$partial$line
  fi
  while :; do
    if [ -n "$status" ]; then
      [ -n "$line" ] || break
    elif [[ $line == "BatchCommand finished: "* ]]; then
      status=${line#BatchCommand finished: }
    else
      answer+=$line$'\n'
    fi
    partial=""
    until IFS= read -r -t 1 line <&4; do
      code=$?
      partial+=$line
      kill -0 $audacity_pid 2>/dev/null || audacity_gone "while it replied"
      [ $SECONDS -lt $deadline ] || { status="no whole reply within $1 s"; return 1; }
      [ $code -gt 128 ] || break
    done
    line=$partial$line
  done
  answer=${answer#$'\n'}
  answer=${answer%$'\n'}
  [ "$status" = OK ]
}

# ask COMMAND: sends COMMAND and reads Audacity's reply.
ask() {
  local code
  [ -z "$trace" ] || echo "$(date +%T.%N) > $1" >&2
  printf '%s\n' "$1" >&3
  reply "$answer_wait"
  code=$?
  [ -z "$trace" ] || echo "$(date +%T.%N) < $status" >&2
  return $code
}

# Until its window is up, Audacity replies to any command with a blank
# line alone, having done nothing. GetInfo's reply has a message: a blank
# first line is that, and GetInfo is asked again.
while :; do
  printf '%s\n' "GetInfo: Type=Menus Format=Brief" >&3
  until IFS= read -r -t 1 line <&4; do waited "before its first reply"; done
  [ -z "$line" ] || break
  waited "before its first reply"
done
reply "$answer_wait" "$line" || { fail "GetInfo: Type=Menus: $status" "$answer"; exit 1; }
menus=$answer
echo "note: Audacity answered $(since "$launched") s after its start"
ask "GetInfo: Type=Commands Format=Brief" ||
  { fail "GetInfo: Type=Commands: $status" "$answer"; exit 1; }
commands=$answer
# The settings file says this already; the command says it again in case
# Audacity wrote its own over it.
ask "SetPreference: Name=/FileFormats/ExportFormat_SF1_Type/WAV_10000 Value=6" ||
  { fail "SetPreference: $status" "$answer"; exit 1; }

# place URI: "MENU LABEL", where a user finds the plugin: the top menu and
# the item's label, from the menu listing (its ids end in _URI).
place() {
  awk -v uri="$1" '
    /^ *0 0 "/ { split($0, q, "\""); top = q[2] }
    index($0, "_" uri "\"") { split($0, q, "\""); print top, q[2]; exit }' <<<"$menus"
}
# command_of NAME: the scripting id of the effect called NAME.
command_of() {
  awk -v name="$1" '{ split($0, q, "\""); if (q[4] == name) { print q[2]; exit } }' <<<"$commands"
}

# float_wav FILE CHANNELS: a WAV of 32-bit floats, as libsndfile writes
# one (the format chunk first), of 1 or 2 channels.
float_wav() {
  local header
  header=$(od -A n -t x1 -N 36 "$1" 2>/dev/null | tr -d ' \n')
  [ "${header:0:8}" = 52494646 ] && [ "${header:24:8}" = 666d7420 ] &&
    [ "${header:40:8}" = "03000${2}00" ] && [ "${header:68:4}" = 2000 ]
}

# windows: the titles of the windows on Audacity's display, where x11-utils
# has xwininfo; a dialog that waits for a click shows among them.
windows() {
  command -v xwininfo >/dev/null || return 0
  DISPLAY=:$display xwininfo -root -children 2>/dev/null |
    sed -n 's/^ *0x[0-9a-f]* "\(.*\)": ("audacity".*/\1/p' | sort -u | paste -sd, - |
    sed 's/^./windows open: &/'
}

# run JOB_INDEX COMMAND...: the commands in order, stopping at the first
# that fails, which is said with the job and Audacity's answer. Audacity
# that has not replied is taken for stuck (a dialog waiting for a click),
# and the jobs left are not sent.
stuck=""
run() {
  local i=$1 command
  shift
  for command in "$@"; do
    if ! ask "$command"; then
      fail "job ${job_line[$i]} (${job_uri[$i]}): Audacity's answer to \"$command\": $status" \
        "$answer"
      [[ $status != "no "*" within "* ]] || { stuck="at job ${job_line[$i]}"; windows; }
      return 1
    fi
  done
}

# import_input JOB_INDEX: the job's INPUT into an empty project, as one
# track, whose channels are then in channels.
import_input() {
  local i=$1 tracks
  run "$i" "${clear[@]}" "Import2: Filename=\"$(absolute "${job_in[$i]}")\"" \
    "GetInfo: Type=Tracks Format=JSON" || return 1
  tracks=$(grep -c '"kind":"wave"' <<<"$answer")
  channels=$(sed -n 's/.*"channels":\([0-9]*\).*/\1/p' <<<"$answer" | head -1)
  if [ "$tracks" != 1 ] || [ -z "$channels" ]; then
    fail "job ${job_line[$i]}: Audacity made $tracks tracks of ${job_in[$i]}" "$answer"
    return 1
  fi
}

# --- the jobs -----------------------------------------------------------------------
clear=("SelectAll:" "RemoveTracks:")  # an empty project for each job
for i in "${!job_uri[@]}"; do
  uri=${job_uri[$i]}
  [ -n "$uri" ] || continue  # refused above
  if [ -n "$stuck" ]; then
    fail "job ${job_line[$i]} ($uri): not sent, Audacity stuck $stuck"
    continue
  fi
  in=${job_in[$i]} out=$(absolute "${job_out[$i]}")
  rm -f "$out"
  # Audacity says what it cannot import or export in a dialog, and waits.
  if [ "$in" != - ] && [ ! -r "$in" ]; then
    fail "job ${job_line[$i]} ($uri): cannot read $in"
    continue
  fi
  if [ ! -w "${out%/*}" ]; then
    fail "job ${job_line[$i]} ($uri): cannot write in ${out%/*}"
    continue
  fi
  start=$EPOCHREALTIME
  channels=1
  if [ "$uri" = copy ]; then
    import_input "$i" || continue
    run "$i" "Export2: Filename=\"$out\" NumChannels=$channels" || continue
  else
    read -r menu label <<<"$(place "$uri")"
    id=$(command_of "${plugin_name[$uri]}")
    if [ -z "$menu" ] || [ -z "$id" ]; then
      fail "job ${job_line[$i]}: Audacity does not list $uri"
      continue
    fi
    effect="$id: Use_Preset=\"User Preset:zul-job-$i\""
    case $menu/$in in
      Effect/-)
        fail "job ${job_line[$i]}: $uri is an effect in Audacity: it needs an input"
        continue ;;
      Generate/-)
        # The selection of a new track is what a generator fills.
        seconds=$(awk -v f="${job_frames[$i]}" -v r=$rate 'BEGIN { printf "%.9f", f / r }')
        run "$i" "${clear[@]}" "SetProject: Rate=$rate" "NewMonoTrack:" \
          "Select: Start=0 End=$seconds Track=0 TrackCount=1 Mode=Set" "$effect" \
          "Export2: Filename=\"$out\" NumChannels=1" || continue ;;
      Generate/*)
        fail "job ${job_line[$i]}: $uri is a generator in Audacity: its input must be -"
        continue ;;
      Effect/*)
        # A stereo track feeds a plugin's first two inputs, and takes its
        # one output in both channels: their mean is that output.
        { import_input "$i" && run "$i" "SelectAll:" "$effect"; } || continue
        [ "$channels" = 1 ] || run "$i" "Stereo to Mono:" "SelectAll:" || continue
        channels=1
        run "$i" "Export2: Filename=\"$out\" NumChannels=1" || continue ;;
      *) fail "job ${job_line[$i]}: Audacity lists $uri under $menu only (\"$label\")"; continue ;;
    esac
  fi
  if ! float_wav "$out" "$channels"; then
    fail "job ${job_line[$i]} ($uri): $out is not a $channels-channel 32-bit float WAV file"
    continue
  fi
  echo "ok job ${job_line[$i]}: $uri: $out ($(since "$start") s)"
done

echo "note: Audacity ran $(since "$launched") s for ${#job_uri[@]} jobs"
[ $failed -eq 0 ]
