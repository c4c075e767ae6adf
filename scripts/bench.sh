#!/usr/bin/env bash
# Measures every staged plugin and writes docs/benchmarks.md, and the lv2bench
# figures into the README's benchmark section. Not part of the tests: it takes
# about a minute and its timings depend on what else the machine is doing.
#  1. callgrind counts the instructions of run per sample at 256 frames (the
#     stable figure, to compare between commits);
#  2. zul-bench times run at every block size and buffer sharing, beside the
#     memcpy/memset or arithmetic chain that bounds it, in one run;
#  3. lilv's lv2bench times our plugins and the LV2 example gain plugin as a
#     real host drives them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh

plugins=$(sed -n 's/^zul_add_plugin(\([^ )]*\).*/\1/p' plugins/CMakeLists.txt)
uri_base=$(sed -n 's/^<\(.*\)\/zul-cv-[^/]*>$/\1/p' build/lv2/zul-cv-switch1.lv2/manifest.ttl)
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
family=$(sed -n 's/^cpu family[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
model=$(sed -n 's/^model[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 1. Instructions per sample: 200 blocks of 256 frames, counted only inside run;
#    for the slew limiter and the smoothing filter also in each regime.
count() {  # plugin [regime]: prints "plugin[/regime] count"
  echo "$1${2:+/$2} $(scripts/instructions.sh build/bench/zul-count "$@")"
}
{
  for p in $plugins; do count "$p"; done
  count zul-cv-slew moving
  count zul-cv-slew arrived
  count zul-cv-control moving
  count zul-cv-control steady
} >"$work/instructions"

# 2. Every block size and sharing, the fastest of 15 short interleaved repetitions:
#    more and shorter repetitions give steadier minima on a shared machine.
build/bench/zul-bench --benchmark_min_time=0.01 --benchmark_repetitions=15 \
  --benchmark_enable_random_interleaving=true --benchmark_display_aggregates_only=true \
  --table="$work/table.md" --instructions="$work/instructions" >"$work/bench.log"

# 3. lv2bench, 256-frame blocks, the fastest of three runs of 2560000 frames.
frames=2560000
lv2bench_row() {  # name uri
  local best=""
  for _ in 1 2 3; do
    t=$(LV2_PATH="$PWD/build/lv2:/usr/lib/lv2" lv2bench -b 256 -n "$frames" "$2" | awk 'NR == 1 { print $1 }')
    best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (a == "" || b < a) ? b : a }')
  done
  awk -v n="$1" -v t="$best" -v f="$frames" 'BEGIN { printf "| %s | %.3f |\n", n, t * 1e9 / f }'
}
{
  echo "| plugin | lv2bench ns/sample at 256 |"
  echo "|---|---:|"
  for p in $plugins; do lv2bench_row "$p" "$uri_base/$p"; done
  lv2bench_row "eg-amp (LV2 example gain)" "http://lv2plug.in/plugins/eg-amp"
} >"$work/lv2bench.md"

mkdir -p docs
{
  echo "# Benchmarks"
  echo
  echo "Written by \`scripts/bench.sh\` on $(date -u +%Y-%m-%d), commit $(git rev-parse --short HEAD)."
  echo
  echo "CPU: $cpu, family $family, model $model ($(nproc) cores, from /proc/cpuinfo);"
  echo "the plugins ran their $(build/bench/zul-bench --variant) variant."
  echo
  cat <<'EOF'
Each plugin's `run` is called through its descriptor after `dlopen`, as a
host calls it, with controls at their defaults and CV inputs carrying a sine
of amplitude 5 and period 512 frames; the gate's level is 5 (open, passing its
input) and the range splitter's value 2.5 (in range). Its limit is timed in
the same run: the C library's `memcpy` and `memset` of exactly the bytes the
plugin reads and writes, or for the slew limiter and the smoothing filter the
bare serial chain of their arithmetic. Times are CPU time, the fastest of 15
interleaved repetitions; ratio is plugin time over limit time at the same
block size, the figure to compare on a shared, noisy machine. At n = 1,
ns/sample is the cost of one call. Instructions per sample are counted by
callgrind inside `run` over 200 blocks of 256 frames with separate buffers:
they do not depend on the machine's load and are the figure to compare
between commits.

The slew limiter and the smoothing filter mostly see a still input, so the
second table times each in two regimes at 256 frames: moving (the slew
limiter after the sine, the filter's control flipping between 0 and 10 at
every call, so that the state changes at every sample) against its
arithmetic chain, and still (the slew limiter arrived at a held input of 2.5,
the filter settled on a held control of 1) against the memcpy or memset of
the bytes it reads and writes. The summary line of those two plugins is
their moving row. Their instructions per sample are counted in each regime
after it has settled.

Rows with shared buffers take `run`'s block loop where streams share a buffer
at the same index (an input on an output's buffer, all outputs on one
buffer), and the sample-by-sample loop where an output covers a value the
plugin reads at element 0 only (the gate's level, the range splitter's
input). With an input on an output's buffer, each call processes what the
previous call left there.
EOF
  echo
  cat "$work/table.md"
  echo
  cat <<'EOF'
Parameter modulation misses its target. Its multiply-add is exact in double
precision, so every sample is widened to double and narrowed back; those two
conversions alone, with no arithmetic, take most of what the target allows
(the floor above), and rounding to double and then to single has no exact
formulation in single precision that would avoid them. Its AVX2 version of
eight samples, four of them a step, keeps the conversions busy; an AVX-512
variant of every loop was measured on this processor and did not pay.
EOF
  echo
  echo "## lv2bench"
  echo
  cat <<'EOF'
lilv's `lv2bench` (Debian's lilv-utils) in the same run: wall-clock time over
2560000 frames in blocks of 256, the fastest of three runs. It connects every
input to one buffer and every output to another, so plugins with several
outputs run with their outputs on one buffer.
EOF
  echo
  cat "$work/lv2bench.md"
} >docs/benchmarks.md

# The README carries the lv2bench table of this run between its markers.
awk -v table="$work/lv2bench.md" '
  /<!-- lv2bench begin -->/ { print; while ((getline line < table) > 0) print line; skip = 1; next }
  /<!-- lv2bench end -->/ { skip = 0 }
  !skip' README.md >"$work/README.md"
cp "$work/README.md" README.md
echo "bench: wrote docs/benchmarks.md"
