#!/usr/bin/env bash
# Measures every staged plugin and writes docs/benchmarks.md. Not part of the
# tests: it takes about five minutes and its timings depend on what else the
# machine is doing, so it waits up to two minutes for a quiet machine (a load
# average of 0.5 at most) and refuses to write while it is busier;
# ZUL_BENCH_ANY_LOAD=1 writes anyway and says so in the file.
#  1. callgrind counts the instructions of run per sample at 256 frames (the
#     stable figure, to compare between commits);
#  2. zul-bench times run at every block size and buffer sharing, beside the
#     memcpy/memset or arithmetic chain that bounds it, in one run of three
#     interleaved rounds; on a processor with AVX-512 also every plugin with
#     its AVX-512 loops (build/lv2-avx512) against the shipped ones;
#  3. lilv's lv2bench times our plugins and the LV2 example gain plugin as a
#     real host drives them.
# Installs what is missing for it (scripts/setup.sh bench) and builds the
# plugins and the benchmark programs without the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh bench
scripts/build.sh -DZUL_CV_TESTS=OFF -DZUL_CV_BENCH=ON

plugins=$(sed -n 's/^zul_add_plugin(\([^ )]*\).*/\1/p' plugins/CMakeLists.txt)
uri_base=$(sed -n 's/^<\(.*\)\/zul-cv-[^/]*>$/\1/p' build/lv2/zul-cv-switch1.lv2/manifest.ttl)
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
family=$(sed -n 's/^cpu family[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
model=$(sed -n 's/^model[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The one-minute load average, waited on for up to two minutes.
load() { cut -d' ' -f1 /proc/loadavg; }
quiet() { awk -v l="$(load)" 'BEGIN { exit !(l <= 0.5) }'; }
for _ in $(seq 24); do quiet && break; sleep 5; done
start_load=$(load)
load_note=""
if ! quiet; then
  if [ "${ZUL_BENCH_ANY_LOAD:-}" != 1 ]; then
    echo "bench: the load average is $(load), above 0.5: not measuring (ZUL_BENCH_ANY_LOAD=1 to measure anyway)" >&2
    exit 1
  fi
  load_note="**Measured on a busy machine** (load average $(load) at the start, above 0.5): these times are not comparable."
  echo "bench: WARNING: the load average is $(load), above 0.5; measuring anyway" >&2
fi
variant=$(build/bench/zul-bench --variant)
echo "bench: $cpu, family $family, model $model; processor variant $variant"
# The variant each plugin runs: AVX-512 only where its library has those
# loops (the shipped ones take them only where they win).
plugin_variant() {
  if [ "$variant" = AVX-512 ] && ! nm -C "build/lv2/$1.lv2/$1.so" | grep -q run_avx512; then
    echo AVX2
  else
    echo "$variant"
  fi
}
for p in $plugins; do echo "bench: $p runs its $(plugin_variant "$p") loops"; done

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

# 2. Every block size and sharing, the fastest of three rounds of 15 short
#    interleaved repetitions: more and shorter repetitions give steadier
#    minima on a shared machine.
repeat=(--benchmark_min_time=0.01 --benchmark_repetitions=15
  --benchmark_enable_random_interleaving=true --benchmark_display_aggregates_only=true)
build/bench/zul-bench "${repeat[@]}" --rounds=3 \
  --table="$work/table.md" --instructions="$work/instructions" >"$work/bench.log"

# The AVX-512 loops of every plugin against the shipped loops, separate
# buffers, three rounds each way, interleaved. A plugin takes them only where
# they are faster (below 0.97 of the time) at 64, 256 and 1024 frames and
# not slower (at most 1.03) at 1 and 16.
if [ "$variant" = AVX-512 ]; then
  sizes="1 16 64 256 1024"
  filter="^zul-cv-[a-z0-9-]*/separate/(${sizes// /|})\$"
  for round in 1 2 3; do
    build/bench/zul-bench "${repeat[@]}" --benchmark_filter="$filter" \
      --times="$work/shipped.$round" >/dev/null
    ZUL_BENCH_STAGE_DIR=$PWD/build/lv2-avx512 build/bench/zul-bench "${repeat[@]}" \
      --benchmark_filter="$filter" --times="$work/avx512.$round" >/dev/null
  done
  {
    echo "| plugin | ${sizes// / | } | AVX-512 wins | takes it |"
    echo "|---|---:|---:|---:|---:|---:|---|---|"
    for p in $plugins; do
      awk -v p="$p" -v sizes="$sizes" -v takes="$( [ "$(plugin_variant "$p")" = AVX-512 ] && echo yes || echo no)" '
        FNR == 1 { file++ }
        { split($1, part, "/"); if (part[1] != p) next
          t = $2 + 0; n = part[3]; k = (FILENAME ~ /avx512/) ? "w" : "s"
          if (!((k, n) in best) || t < best[k, n]) best[k, n] = t }
        END {
          split(sizes, size, " "); wins = "yes"; row = "| " p
          for (i = 1; i <= 5; i++) {
            r = best["w", size[i]] / best["s", size[i]]; row = row sprintf(" | %.2f", r)
            if ((size[i] >= 64 && r >= 0.97) || (size[i] < 64 && r > 1.03)) wins = "no"
          }
          print row " | " wins " | " takes " |" }' "$work"/shipped.* "$work"/avx512.*
    done
  } >"$work/avx512.md"
fi

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
  echo "load average $start_load at the start; each plugin ran its"
  echo "$(for p in $plugins; do printf '%s: %s, ' "${p#zul-cv-}" "$(plugin_variant "$p")"; done | sed 's/, $//')."
  echo
  [ -z "$load_note" ] || { echo "$load_note"; echo; }
  cat <<'EOF'
Each plugin's `run` is called through its descriptor after `dlopen`, as a
host calls it, with controls at their defaults and CV inputs carrying a sine
of amplitude 5 and period 512 frames; the gate's level is 5 (open, passing its
input) and the range splitter's value 2.5 (in range). Its limit is timed in
the same run: the C library's `memcpy` and `memset` of exactly the bytes the
plugin reads and writes, or for the slew limiter and the smoothing filter the
bare serial chain of their arithmetic. Times are CPU time, the fastest of three rounds of
15 interleaved repetitions; ratio is plugin time over limit time at the same
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
Parameter modulation's multiply-add is exact in double precision, so every
sample is widened to double and narrowed back; rounding to double and then
to single has no exact formulation in single precision that would avoid the
two conversions. Its floor above is those conversions alone, four samples a
step with AVX and no arithmetic: its own loop adds the multiply-add, the
joining of two halves of four, and the clamp.
EOF
  if [ -s "$work/avx512.md" ]; then
    echo
    echo "## AVX-512"
    echo
    cat <<'EOF'
Every plugin built with its AVX-512 loops (build/lv2-avx512: the
compiler's loops in 512-bit vectors, parameter modulation's eight samples in
one vector of doubles, round's AVX loop as it is) against the loops the
shipped library runs, separate buffers, the fastest of three interleaved
rounds each way: time with AVX-512 over time shipped, at each block size.
AVX-512 wins where it is below 0.97 at 64, 256 and 1024 frames and at most
1.03 at 1 and 16; a plugin takes it (`takes_avx512` in its file) only then.
EOF
    echo
    cat "$work/avx512.md"
  fi
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

echo "bench: wrote docs/benchmarks.md"
