#!/usr/bin/env bash
# test_hosts.sh STAGE_DIR ZUL_RENDER WAV_PROBE URI_BASE
# Runs the audio-port forms of the plugins in the LV2 hosts that Debian
# packages (lv2apply, ffmpeg, GStreamer, ecasound, Ardour 7), each reading a
# WAV file and writing 32-bit float, and compares every output bit for bit
# with zul-render driving the CV plugin on the same input. The offset at
# which the reference's samples appear in a host's output is found, not
# assumed: the input opens with a lead-in of zeros, so a host that delays
# shows as the one offset at which every sample matches. Also checks that
# Ardour lists all nine audio forms, and that each comparison with a control
# set fails against a render at the default settings.
set -uo pipefail
stage=$(cd "$1" && pwd)  # lilv takes only absolute paths
render=$2
probe=$3
base=$4
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  printf 'FAIL %s\n' "$1"
  [ $# -lt 2 ] || printf '%s\n' "${@:2}"
}

# What runs where. Settings are SYMBOL=VALUE,... ('-' for none): controls,
# and the stream read only at a block's start that the audio form makes a
# control port (the gate's level, the range splitter's input). A host left
# out of a row cannot carry that plugin (see the README's table):
#   lv2apply   needs an audio input (control, range have none)
#   gstreamer  registers only plugins with at most one audio input and one
#              output, a group of audio ports counting as one of several
#              channels (not round, whose four outputs are no group); its
#              filter cannot link an input and an output of different channel
#              counts (switch1's one to two, switch2's two to one)
#   lv2proc    needs an audio input, like lv2apply
# Ardour bounces a track at the plugin, every output; lv2file and ecasound
# write every output too; Audacity gives a track the first output (it lists
# the seven with an audio input under Effect, control and range under
# Generate).
# ecasound and lv2proc clamp every sample they write to -1..1, whatever the
# file format: they get an input within -1..1 and settings that keep the
# outputs there.
table="
abs                   -                                   lv2apply lv2file lv2proc ffmpeg gstreamer ecasound ardour audacity
round                 -                                   lv2apply lv2file lv2proc ffmpeg ecasound ardour audacity
slew                  rise_time=1,fall_time=3             lv2apply lv2file lv2proc ffmpeg gstreamer ecasound ardour audacity
parameter-modulation  offset=5,depth=-40                  lv2apply lv2file lv2proc ffmpeg gstreamer ecasound ardour audacity
control               control=-0.75                       lv2file ffmpeg gstreamer ecasound ardour audacity
gate                  level=2.75,open_threshold=2.5       lv2apply lv2file lv2proc ffmpeg gstreamer ecasound ardour audacity
range                 input=0.5,range_high=0.25           lv2file ffmpeg gstreamer ecasound ardour audacity
switch1               selector=1                          lv2apply lv2file lv2proc ffmpeg ecasound ardour audacity
switch2               selector=1                          lv2apply lv2file lv2proc ffmpeg ecasound ardour audacity
"

rate=48000
frames=10080    # 0.21 s: a lead-in of 480 zeros, then the signal
seconds=0.21
max_offset=4096 # the latest frame at which a host's output may start

for tool in lv2info lv2apply lv2file lv2proc ffmpeg gst-launch-1.0 gst-inspect-1.0 ecasound \
  ardour7-lua ardour7-new_session audacity Xvfb; do
  command -v "$tool" >/dev/null || { echo "FAIL $tool is not installed (scripts/setup.sh tests)"; exit 1; }
done

# --- inputs ------------------------------------------------------------------
# signal FILE AMP SEED EDGES: the lead-in, the EDGES within AMP, then noise.
# (One argument a sample: xargs could split the list over two writes.)
signal() {
  local samples
  samples=$(awk -v amp="$2" -v seed="$3" -v edges="$4" -v frames=$frames 'BEGIN {
    srand(seed)
    for (i = 0; i < 480; i++) printf "0 "
    n = split(edges, edge, " ")
    for (i = 1; i <= n; i++) if (edge[i] + 0 <= amp && -edge[i] <= amp) { printf "%s ", edge[i]; k++ }
    for (i = 480 + k; i < frames; i++) printf "%.9g ", (2 * rand() - 1) * amp
  }')
  # shellcheck disable=SC2086  # one argument a sample
  "$probe" write "$1" $rate 1 $samples
}
# Values the plugins treat apart: halves for round, the limits of the CV
# range and past them, and -0.
edges="-0 0.5 -0.5 1.5 -1.5 2.5 -2.5 1 -1 10 -10 11 -11 0.25"
signal wide1.wav 12 1 "$edges"
signal wide2.wav 12 2 "$edges"
signal unit1.wav 1 1 "$edges"
signal unit2.wav 1 2 "$edges"
# shellcheck disable=SC2046  # one argument a sample
"$probe" write zero.wav $rate 1 $(printf '0 %.0s' $(seq $frames))

export LC_ALL=C  # Ardour matches an undo command's name untranslated
# The staged bundles alone: an installed zul-cv is none of the hosts' business.
export LV2_PATH=$stage GST_REGISTRY=$scratch/gst-registry.bin
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config  # the hosts' configuration and caches
mkdir -p "$HOME"
# LV2's example amplifier, without the rest of /usr/lib/lv2.
mkdir examples && ln -s /usr/lib/lv2/eg-amp.lv2 examples/

# zul-render, like the hosts, finds the CV plugins in the stage.
zul_render() { "$render" "$@"; }

# ports URI: "index class direction symbol default toggled" for each port of
# the plugin, as lilv reads its Turtle.
ports() {
  lv2info "$1" 2>/dev/null | awk '
    function flush() { if (index_ != "") print index_, class, dir, symbol, default_, toggled }
    /^\tPort [0-9]+:$/ { flush(); index_ = $2 + 0; class = dir = symbol = ""; default_ = "-"; toggled = 0 }
    /lv2core#(Audio|Control|CV)Port$/ { class = $NF; sub(/.*#/, "", class) }
    /lv2core#InputPort$/ { dir = "in" }
    /lv2core#OutputPort$/ { dir = "out" }
    /^\t\tSymbol:/ { symbol = $2 }
    /^\t\tDefault:/ { default_ = $2 + 0 }
    /lv2core#toggled/ { toggled = 1 }
    END { flush() }'
}

# --- the hosts ----------------------------------------------------------------
# Each host_NAME URI OUT renders the plugin of the current row into OUT, its
# audio outputs as channels in port order, from the inputs in ins[] (one
# file per audio input, in port order), with the values in setting[] and the
# control ports in controls[] ("symbol default toggled", in port order).
# Ardour and Audacity render every row in one run each after the table:
# host_ardour and host_audacity only add the row to that run.

# setting_of SYMBOL DEFAULT: the row's value, else the default.
setting_of() { echo "${setting[$1]-$2}"; }

# inputs_merged CHANNELS: the inputs as one file, padded with silent channels.
inputs_merged() {
  local files=("${ins[@]}")
  while [ ${#files[@]} -lt "$1" ]; do files+=(zero.wav); done
  "$probe" merge in.wav "${files[@]}"
}

host_lv2apply() {
  local args=() symbol
  for symbol in "${!setting[@]}"; do args+=(-c "$symbol" "${setting[$symbol]}"); done
  inputs_merged ${#ins[@]} && lv2apply -i in.wav -o "$2" "${args[@]}" "$1"
}

# lv2file and lv2proc map the file's channels to the audio inputs in order
# and write every output. lv2file needs a file even for a plugin without
# an audio input (it then takes only the length); it reads -0 as +0 (see
# host_copy).
host_lv2file() {
  local args=() symbol
  for symbol in "${!setting[@]}"; do args+=(-p "$symbol:${setting[$symbol]}"); done
  if [ ${#ins[@]} -gt 0 ]; then inputs_merged ${#ins[@]}; else cp zero.wav in.wav; fi &&
    lv2file --ignore-clipping -i in.wav -o "$2" "${args[@]}" "$1"
}

host_lv2proc() {
  local args=() symbol
  for symbol in "${!setting[@]}"; do args+=(-c "$symbol:${setting[$symbol]}"); done
  inputs_merged ${#ins[@]} && lv2proc -i in.wav -o "$2" "${args[@]}" "$1"
}

host_ffmpeg() {
  local controls="" symbol
  for symbol in "${!setting[@]}"; do controls+="${controls:+|}$symbol=${setting[$symbol]}"; done
  # shellcheck disable=SC2016  # ffmpeg's own quotes; its colons escaped
  local filter="lv2=p='${1//:/\\:}'${controls:+:c='$controls'}"
  local ff=(ffmpeg -nostdin -hide_banner -loglevel error -y)
  if [ ${#ins[@]} -eq 0 ]; then  # a source: the plugin makes the stream
    "${ff[@]}" -f lavfi -i "$filter:s=$rate:d=$seconds" -c:a pcm_f32le "$2"
  else
    inputs_merged ${#ins[@]} && "${ff[@]}" -i in.wav -af "$filter" -c:a pcm_f32le "$2"
  fi
}

# GStreamer names the element after the URI without its scheme, the
# properties after the symbols with '-' for '_', and starts every toggle at
# false whatever its lv2:default: every control is given.
host_gstreamer() {
  local element=${1#*://} props=() symbol default toggled value
  element=${element//[^A-Za-z0-9+-]/-}
  for port in "${controls[@]}"; do
    read -r symbol default toggled <<<"$port"
    value=$(setting_of "$symbol" "$default")
    [ "$toggled" = 0 ] || { [ "$value" = 0 ] && value=false || value=true; }
    props+=("${symbol//_/-}=$value")
  done
  if [ ${#ins[@]} -eq 0 ]; then
    gst-launch-1.0 -q "$element" "${props[@]}" samplesperbuffer=480 num-buffers=$((frames / 480)) \
      ! "audio/x-raw,rate=$rate" ! wavenc ! filesink location="$2"
  else
    inputs_merged ${#ins[@]} &&
      gst-launch-1.0 -q filesrc location=in.wav ! wavparse ! "$element" "${props[@]}" \
        ! wavenc ! filesink location="$2"
  fi
}

# ecasound takes the controls in port order, each given, and connects an
# effect with more than one input or output port to the chain's channels
# (inputs and outputs alike from the first): the chain gets as many
# channels as the plugin has ports of either kind. It opens an existing
# output file for update: OUT must not exist.
host_ecasound() {
  local values="" symbol default toggled channels=${#ins[@]}
  for port in "${controls[@]}"; do
    read -r symbol default toggled <<<"$port"
    values+=",$(setting_of "$symbol" "$default")"
  done
  [ "$channels" -ge "$outputs" ] || channels=$outputs
  [ "$channels" -ge 1 ] || channels=1
  inputs_merged "$channels" && rm -f "$2" &&
    ecasound -q -i in.wav -f:f32_le,$channels,$rate -o "$2" "-elv2:$1$values" >ecasound.log 2>&1 ||
    { cat ecasound.log; return 1; }
}

# Ardour: one session from ardour7-new_session, then tests/ardour/bounce.lua
# in ardour7-lua, which gives each row a track holding the inputs on its
# first channels, and bounces the track at the plugin: one mono file per
# stream, merged here into OUT. As the README tells a user: a track of as
# many channels as the plugin has outputs, or inputs where it has more
# (switch2), and strict I/O on only there: off, the second input reads as
# silence from the bounce's second chunk (8192 frames) on.
# Controls are set by their number among the control ports.
ardour_rows=()
host_ardour() {
  local numbers="" n=0 symbol default toggled strict=0 in
  for port in "${controls[@]}"; do
    read -r symbol default toggled <<<"$port"
    [ -z "${setting[$symbol]+set}" ] || numbers+="${numbers:+,}$n=${setting[$symbol]}"
    n=$((n + 1))
  done
  local channels=$outputs
  [ ${#ins[@]} -le "$outputs" ] || { channels=${#ins[@]} strict=1; }
  local row="$1 $channels $strict $frames ${numbers:--} $outputs $PWD/$2"
  for in in "${ins[@]}"; do row+=" $PWD/$in"; done
  ardour_rows+=("$row")
}

# run_ardour: the rows in one Ardour run, which first lists the LV2 plugins
# Ardour can use ("lv2 URI") and then the bounce's files of each row
# ("bounce ROW CHANNEL FILE"). Ardour 7.3 headless dies now and then of its
# own heap corruption ("double free or corruption"), more often on a loaded
# machine: a run that ends by a signal is made again, up to three times, and
# said.
run_ardour() {
  local try status row=0 files
  printf '%s\n' "${ardour_rows[@]}" >ardour.rows
  for try in 1 2 3; do
    rm -rf session
    { ardour7-new_session -m 1 -s $rate session zul &&
      ZUL_SESSION_DIR=$PWD/session ZUL_SESSION_NAME=zul ZUL_ROWS=$PWD/ardour.rows \
        timeout 120 ardour7-lua -- "$here/ardour/bounce.lua"; } >ardour.log 2>&1
    status=$?
    [ $status -gt 128 ] || [ $status = 124 ] || break
    echo "note: Ardour ended with status $status (try $try)"
  done
  [ $status = 0 ] || { fail "Ardour failed" "$(tail -20 ardour.log)"; return; }
  while read -r uri _ _ _ _ outputs out _; do
    row=$((row + 1))
    files=$(awk -v row=$row '$1 == "bounce" && $2 == row { print $4 }' ardour.log | head -"$outputs")
    # shellcheck disable=SC2086  # one file a word
    if [ "$(wc -w <<<"$files")" != "$outputs" ]; then
      fail "$uri in ardour: the bounce has fewer than $outputs streams"
    else
      "$probe" merge "$out" $files >/dev/null
    fi
  done <ardour.rows
}

# Audacity: tests/audacity/render.sh, which starts it once, headless, and
# drives it through its scripting pipe. The inputs go in as one track of
# as many channels (switch2's two feed its two inputs); a plugin without
# an audio input is a generator. Audacity turns -0 into +0 as it exports
# (it adds the track into a zeroed buffer): the references' outputs go
# through its export too, as copy jobs (see the table's loop).
audacity_jobs=()
host_audacity() {
  local settings="" symbol in=-
  for symbol in "${!setting[@]}"; do settings+="${settings:+,}$symbol=${setting[$symbol]}"; done
  if [ ${#ins[@]} -gt 0 ]; then
    in=$PWD/audacity-in-$name.wav
    "$probe" merge "$in" "${ins[@]}" || return 1
  fi
  audacity_jobs+=("$1 $in $frames $PWD/$2 ${settings:--}")
}

# host_copy HOST FILE: the input as HOST reads it, where that is not the
# file's own bits. lv2file reads -0 as +0: its copy is the file through
# LV2's example amplifier at 0 dB (x * 1.0, which keeps -0 where the host
# does), so the reference sees what the plugin saw.
host_copy() {
  case $1 in
    lv2file)
      LV2_PATH=$scratch/examples lv2file --ignore-clipping -i "$2" -o "copy-$2" -p gain:0 \
        http://lv2plug.in/plugins/eg-amp >/dev/null 2>&1 && echo "copy-$2" ;;
    *) echo "$2" ;;
  esac
}

# reference set|default DIR: zul-render driving the CV plugin on the row's
# inputs, with its controls as set or at their defaults.
reference() {
  local args=() i symbol
  for i in "${!audio_in[@]}"; do args+=(--input "${audio_in[$i]}=${ins[$i]}"); done
  for symbol in "${!setting[@]}"; do
    if grep -qx "$symbol" <<<"$cv_inputs"; then
      args+=(--input "$symbol=${setting[$symbol]}")
    elif [ "$1" = set ]; then
      args+=(--set "$symbol=${setting[$symbol]}")
    fi
  done
  rm -rf "$2"
  zul_render "$plugin" --rate $rate --duration $seconds "${args[@]}" --out "$2" 2>render.log
}

# --- the table ---------------------------------------------------------------------
# Each row and host renders its references now and leaves a check
# ("NAME HOST OUT REFERENCE DEFAULT OUTPUT...", DEFAULT '-' without a
# control set), made when every host has run.
checks=()
declare -A setting
while read -r name settings hosts; do
  [ -n "$name" ] || continue
  plugin=zul-cv-$name
  uri=$base/$plugin-audio
  table_ports=$(ports "$uri")
  [ -n "$table_ports" ] || { fail "$uri: lilv finds no such plugin in $stage"; continue; }
  setting=()
  [ "$settings" = - ] || for pair in ${settings//,/ }; do setting[${pair%%=*}]=${pair#*=}; done
  audio_in=() audio_out=() controls=()
  while read -r index class dir symbol default toggled; do
    case $class/$dir in
      AudioPort/in) audio_in+=("$symbol") ;;
      AudioPort/out) audio_out+=("$symbol") ;;
      ControlPort/in) controls+=("$symbol $default $toggled") ;;
      *) fail "$uri: port $index ($symbol) is a $class $dir port" ;;
    esac
  done <<<"$table_ports"
  outputs=${#audio_out[@]}
  # The CV plugin reads as CV what the audio form makes a control.
  cv_inputs=$(zul_render "$plugin" --ports | awk '$3 == "CV" && $4 == "input" { print $2 }')
  controls_set=0
  for symbol in "${!setting[@]}"; do
    grep -qx "$symbol" <<<"$cv_inputs" || controls_set=1
  done

  for host in $hosts; do
    case $host in
      ecasound | lv2proc) signals=unit ;;
      *) signals=wide ;;
    esac
    ins=()
    for i in "${!audio_in[@]}"; do ins+=("$signals$((i + 1)).wav"); done
    out=$host-$name.wav
    rm -f "$out"
    start=$SECONDS
    if ! "host_$host" "$uri" "$out" >host.log 2>&1; then
      fail "$name in $host: the host failed" "$(tail -20 host.log)"
      continue
    fi
    case $host in ardour | audacity) ;; *) echo "note: $name in $host took $((SECONDS - start)) s" ;; esac
    copies=()
    for in in "${ins[@]}"; do copies+=("$(host_copy "$host" "$in")"); done
    ins=("${copies[@]}")
    reference set "ref-$host-$name" || { fail "$name: zul-render failed" "$(cat render.log)"; continue; }
    default=-
    if [ $controls_set = 1 ]; then
      default=default-$host-$name
      reference default "$default" || { fail "$name: zul-render failed at the defaults"; continue; }
    fi
    ref=ref-$host-$name
    outs=("${audio_out[@]}")
    if [ "$host" = audacity ]; then
      outs=("${audio_out[0]}")
      for dir in $ref $default; do
        [ "$dir" != - ] || continue
        mkdir -p "$dir.exported"
        audacity_jobs+=("copy $PWD/$dir/${outs[0]}.wav $frames $PWD/$dir.exported/${outs[0]}.wav -")
      done
      ref=$ref.exported
      [ "$default" = - ] || default=$default.exported
    fi
    checks+=("$name $host $out $ref $default ${outs[*]}")
  done
done <<<"$table"

if [ ${#ardour_rows[@]} -gt 0 ]; then
  start=$SECONDS
  run_ardour
  echo "note: Ardour took $((SECONDS - start)) s for ${#ardour_rows[@]} plugins"
fi

if [ ${#audacity_jobs[@]} -gt 0 ]; then
  start=$SECONDS
  printf '%s\n' "${audacity_jobs[@]}" >audacity.jobs
  "$here/audacity/render.sh" audacity.jobs >audacity.log 2>&1 ||
    fail "Audacity failed" "$(grep -v '^ok' audacity.log | tail -20)"
  echo "note: Audacity took $((SECONDS - start)) s for ${#audacity_jobs[@]} jobs"
fi

# --- the checks --------------------------------------------------------------------
# Every output bit for bit at one offset; with a control set, the render at
# the default controls must not match: the host passed the setting, and the
# comparison can tell.
for check in "${checks[@]}"; do
  read -r name host out ref default outs <<<"$check"
  [ -s "$out" ] || { fail "$name in $host: no output"; continue; }
  results=""
  ok=1
  i=0
  for output in $outs; do
    if result=$("$probe" match "$ref/$output.wav" "$out" "$i" $max_offset); then
      results+="${results:+ }${result%% *}"
    else
      ok=0
      fail "$name in $host, $output (channel $i): $result"
    fi
    i=$((i + 1))
  done
  if [ $ok = 1 ]; then
    if [ "$(tr ' ' '\n' <<<"$results" | sort -u | wc -l)" = 1 ]; then
      pass
      echo "ok $name in $host: outputs: $i, bit for bit at ${results%% *}"
    else
      fail "$name in $host: the outputs lie at different offsets: $results"
    fi
  fi
  if [ "$default" != - ]; then
    first=${outs%% *}
    if "$probe" match "$default/$first.wav" "$out" 0 $max_offset >/dev/null; then
      fail "$name in $host: the output matches a render at the default controls too"
    else
      pass
    fi
  fi
done

# --- what GStreamer registers --------------------------------------------------------
# Exactly the plugins with at most one audio input and one output, where a
# group of audio ports counts as one: the table's, and the two switches.
expected=$({ awk '/gstreamer/ { print $1 }' <<<"$table"; printf '%s\n' switch1 switch2; } | sort)
prefix=$(sed 's/[^A-Za-z0-9+-]/-/g' <<<"${base#*://}/zul-cv-")
registered=$(gst-inspect-1.0 lv2 2>/dev/null | sed -n "s/^ *$prefix\([^:]*\)-audio: .*/\1/p" | sort)
if [ "$registered" = "$expected" ]; then pass; else
  fail "GStreamer's lv2 elements are not the table's:" "$(diff <(echo "$expected") <(echo "$registered"))"
fi

# --- Ardour's plugin list --------------------------------------------------------------
# All nine audio forms, each a plugin Ardour can use (listed by the run above).
listed=$(sed -n "s|^lv2 $base/zul-cv-\(.*\)-audio$|\1|p" ardour.log 2>/dev/null | sort)
wanted=$(awk 'NF { print $1 }' <<<"$table" | sort)
if [ "$listed" = "$wanted" ]; then
  pass
  echo "ok Ardour lists $(wc -l <<<"$listed") of $(wc -l <<<"$wanted") audio forms"
else
  fail "Ardour's LV2 plugins are not the nine audio forms:" "$(diff <(echo "$wanted") <(echo "$listed"))"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
