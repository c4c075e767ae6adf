# Draws one scene's plot with gnuplot from the WAV files zul-render wrote:
#   plot_scene DIR PNG TITLE FROM TO PANEL...
# (with the associative array units holding each port's unit: port_units)
# Each PANEL is "panel|LABEL|PORT PORT..." or, for a switch control drawn at
# half height with ticks at 0 and 1, "toggle|LABEL|PORT...": top to bottom
# on one time axis from FROM to TO seconds. A port is a file DIR/PORT.wav
# (mono, 32-bit float); PORT:guide draws it as a grey dashed line (thresholds,
# a bound, the input behind an output), the guides of one panel each with its
# own grey and dashes, so that the legend tells them apart. Sourced by
# scripts/demo.sh.

# The byte offset of a WAV file's samples: the chunks after the RIFF header
# are walked to "data", so the PEAK and fact chunks libsndfile adds are
# skipped whatever their size.
wav_data_offset() {
  local file=$1 at=12 id size
  while :; do
    id=$(dd if="$file" bs=1 skip="$at" count=4 status=none)
    size=$(od -An -tu4 -j $((at + 4)) -N4 "$file" | tr -d ' ')
    [ -n "$size" ] || { echo "plot: no sample data in $file" >&2; return 1; }
    [ "$id" = data ] && { echo $((at + 8)); return; }
    at=$((at + 8 + size + size % 2))
  done
}

wav_rate() { od -An -tu4 -j 24 -N4 "$1" | tr -d ' '; }

# A WAV file's length in seconds: its 4-byte samples after the offset.
wav_seconds() {
  local samples=$((($(stat -c %s "$1") - $(wav_data_offset "$1")) / 4))
  awk "BEGIN { print $samples / $(wav_rate "$1") }"
}

# The unit of each port, as zul-render --ports shows it from the plugin's
# Turtle: "SYMBOL UNIT" lines, the unit empty for a port without one. The
# columns are found by the header's "unit" and "name"; the table ends at the
# blank line before the presets.
port_units() {
  "$render" "$1" --ports | awk '
    /^#  symbol / { u = index($0, " unit ") + 1; n = index($0, " name ") + 1; next }
    u && $0 == "" { exit }
    u { unit = substr($0, u, n - u); gsub(/ /, "", unit); print $2, unit }'
}

# LABEL, with " (UNIT)" when every port of the panel has that unit.
label_with_unit() {
  local label=$1 unit="" first=1 port u
  [[ $(declare -p units 2>/dev/null) == "declare -A"* ]] || { echo "$label"; return; }
  for port in $2; do
    u=${units[${port%:guide}]-}
    if [ $first -eq 1 ]; then unit=$u first=0; elif [ "$u" != "$unit" ]; then unit=""; break; fi
  done
  if [ -n "$unit" ]; then echo "$label ($unit)"; else echo "$label"; fi
}

# A text in gnuplot's single quotes, where '' stands for one quote.
gp_quote() { printf "'%s'" "${1//\'/\'\'}"; }

plot_scene() {
  local dir=$1 png=$2 title=$3 from=$4 to=$5
  shift 5
  local colours=('#1f6fb4' '#d6452a' '#2a9d3a' '#e39210' '#7b4fb8')
  local guides=("lc rgb '#8c8c8c' dashtype 2" "lc rgb '#404040' dashtype (2,4)"
    "lc rgb '#b4b4b4' dashtype (10,4,2,4)")
  # Milliseconds on the axis for short scenes, seconds for long ones.
  local scale=1 unit=s
  if awk "BEGIN { exit !($to - $from < 0.5) }"; then scale=1000 unit=ms; fi
  # Toggles (switch controls) get half the height of a panel.
  local weights=0 panel
  for panel in "$@"; do
    case $panel in toggle\|*) weights=$((weights + 1)) ;; *) weights=$((weights + 2)) ;; esac
  done
  local unit_height
  unit_height=$(awk "BEGIN { print (0.90 - 0.11) / $weights }")
  {
    echo "set terminal pngcairo size 900,500 noenhanced font 'sans,10'"
    echo "set output $(gp_quote "$png")"
    echo "set multiplot title $(gp_quote "$title") font ',12'"
    echo "set grid lc rgb '#d8d8d8'"
    echo "set lmargin at screen 0.08"
    echo "set rmargin at screen 0.78"
    local xfrom xto
    xfrom=$(awk "BEGIN { print $from * $scale }")
    xto=$(awk "BEGIN { print $to * $scale }")
    echo "set ytics nomirror"
    # A step of 1, 2 or 5 times a power of ten near x.
    echo "nice(x) = (e = 10.0**floor(log10(x)), m = x / e, (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * e)"
    local upper=0.90 p=0
    for panel in "$@"; do
      local kind=${panel%%|*} rest=${panel#*|}
      local label=${rest%%|*} ports=${rest#*|} weight=2
      [ "$kind" = toggle ] && weight=1
      local lower
      lower=$(awk "BEGIN { print $upper - $weight * $unit_height }")
      echo "set tmargin at screen $upper"
      echo "set bmargin at screen $(awk "BEGIN { print $lower + 0.012 }")"
      echo "set key at screen 0.795, $upper left top Left reverse samplen 2 spacing 1.1"
      echo "set ylabel $(gp_quote "$(label_with_unit "$label" "$ports")")"
      p=$((p + 1))
      if [ "$p" -eq "$#" ]; then
        echo "set format x '%g'"
        echo "set xlabel 'time ($unit)'"
      else
        echo "set format x ''"
        echo "unset xlabel"
      fi
      local plot="plot" colour=0 guide=0 port
      # stats reads within the current ranges: free them while it looks.
      echo "set autoscale xy; lo = 1e300; hi = -1e300"
      for port in $ports; do
        local name=${port%:guide} file offset rate style data
        file="$dir/$name.wav"
        offset=$(wav_data_offset "$file")
        rate=$(wav_rate "$file")
        data="$(gp_quote "$file") binary skip=$offset format='%float32' endian=little"
        # The panel's value range, over the frames on show.
        local t="(\$0*$scale/$rate)"
        echo "stats $data using ($t >= $xfrom && $t <= $xto ? \$1 : 1/0) nooutput name 'S'"
        echo "lo = S_min < lo ? S_min : lo; hi = S_max > hi ? S_max : hi"
        if [ "$port" != "$name" ]; then
          style="${guides[guide % ${#guides[@]}]} linewidth 1.4"
          guide=$((guide + 1))
        else
          style="lc rgb '${colours[colour % ${#colours[@]}]}' linewidth 2"
          colour=$((colour + 1))
        fi
        plot+="$([ "$plot" = plot ] || echo ,) $data using (\$0*$scale/$rate):1"
        plot+=" with lines $style title $(gp_quote "$name")"
      done
      echo "set xrange [$xfrom:$xto]"
      if [ "$kind" = toggle ]; then
        echo "set yrange [-0.3:1.3]; set ytics 1"
      else
        echo "pad = hi > lo ? (hi - lo) * 0.12 : (abs(lo) > 10 ? abs(lo) * 0.1 : 1)"
        echo "set yrange [lo - pad : hi + pad]; set ytics nice((hi - lo + 2 * pad) / 3.5)"
      fi
      echo "$plot"
      upper=$lower
    done
    echo "unset multiplot"
  } | gnuplot
}
