#!/usr/bin/env bash
# Installs what is missing for it (scripts/setup.sh demo: no test, benchmark
# or JACK packages), builds and stages the bundles and zul-render, then
# renders each scene of demo/scenes.sh with zul-render from the staged
# bundles: its WAV files and a plot go to demo-out/<scene>/, and a table
# lists them.
#   scripts/demo.sh --docs   also copies each plot to docs/<plugin>.png,
#                            the pictures the README shows
set -euo pipefail
cd "$(dirname "$0")/.."
docs=false
case "${1-}" in
  --docs) docs=true ;;
  "") ;;
  *) echo "usage: scripts/demo.sh [--docs]" >&2 && exit 2 ;;
esac

scripts/setup.sh demo
scripts/build.sh -DZUL_CV_TESTS=OFF -DZUL_CV_TOOLS=ON -DZUL_CV_BENCH=OFF
export LV2_PATH="$PWD/build/lv2"
render="$PWD/build/tools/zul-render"
source demo/plot.sh

rows=()
name="" plugin="" title="" args=() panels=()

# Renders the scene read so far, if any, and draws its plot.
finish_scene() {
  [ -n "$name" ] || return 0
  local dir="demo-out/$name"
  rm -rf "$dir"
  "$render" "zul-cv-$plugin" "${args[@]}" --out "$dir"
  unset units
  declare -gA units
  while read -r port unit; do units[$port]=$unit; done < <(port_units "zul-cv-$plugin")
  local seconds
  seconds=$(wav_seconds "$(ls "$dir"/*.wav | head -1)")
  plot_scene "$dir" "$dir/plot.png" "$title" 0 "$seconds" "${panels[@]}"
  if $docs; then
    mkdir -p docs
    cp "$dir/plot.png" "docs/zul-cv-$plugin.png"
  fi
  rows+=("zul-cv-$plugin|$name|$(cd "$dir" && ls | paste -sd ' ')")
  name=""
}

scene() {
  finish_scene
  name=$1 plugin=$2 title=$3
  shift 3
  args=("$@") panels=()
}
panel() {
  local label=$1
  shift
  panels+=("panel|$label|$*")
}
toggle() {
  local label=$1
  shift
  panels+=("toggle|$label|$*")
}

source demo/scenes.sh
finish_scene

printf '\n%-30s %-16s %s\n' plugin scene "files (in demo-out/<scene>/)"
for row in "${rows[@]}"; do
  IFS='|' read -r p s f <<<"$row"
  printf '%-30s %-16s %s\n' "$p" "$s" "$f"
done
