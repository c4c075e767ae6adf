# The demo's scenes, one per plugin, read by scripts/demo.sh:
#   scene NAME PLUGIN TITLE ZUL-RENDER-ARGUMENT...
#   panel LABEL PORT...   one panel of the plot, top to bottom; PORT:guide is
#                         drawn as a grey dashed line; the label gets the
#                         ports' unit from the Turtle when they share one
#   toggle LABEL PORT...  a half-height panel for switch controls (0 and 1)
# zul-render runs at 48000 Hz in blocks of 128 frames (2.67 ms) unless a
# scene says otherwise; a control changed with --at takes effect at the start
# of the next block. Each plot shows the whole render: a short --duration
# keeps the detail readable.

scene route switch1 "zul-cv-switch1: the selector, read once per block, sends the input to A, then B, then A" \
  --duration 0.04 --input input=sine,freq=50,amp=5 --at 0.0125 selector=1 --at 0.0275 selector=0
panel "input" input
panel "outputs" output_a output_b
toggle "selector (0/1)" selector

scene pick switch2 "zul-cv-switch2: the selector, read once per block, passes input A, then B, then A" \
  --duration 0.04 --input input_a=sine,freq=50,amp=5 --input input_b=square,freq=150,amp=3 \
  --at 0.0125 selector=1 --at 0.0275 selector=0
panel "inputs" input_a input_b
panel "output" output
toggle "selector (0/1)" selector

scene rectify abs "zul-cv-abs: the rectifier, on for 40 ms, then off (the input passes)" \
  --duration 0.06 --input input=sine,freq=50,amp=5 --at 0.04 enable=0
panel "input" input
panel "output" output
toggle "enable (0/1)" enable

scene ramp round "zul-cv-round: a ramp from -2.6 to 2.6 rounded four ways" \
  --duration 1 --input input=ramp,freq=1,amp=2.6
panel "nearest" input:guide output_round
panel "ceiling, floor" input:guide output_ceil output_floor
panel "fraction" output_fraction

scene depth-offset parameter-modulation \
  "zul-cv-parameter-modulation: depth and offset, limited to 0..10" \
  --duration 2 --input input=sine,freq=4,amp=5 --set offset=50 \
  --at 0.5 depth=150 --at 1 depth=100 --at 1 offset=80 --at 1.5 depth=-50 --at 1.5 offset=20
panel "input" input
panel "output" output
panel "depth, offset" depth offset

scene rise-fall slew "zul-cv-slew: a square wave, rising with 40 ms and falling with 10 ms" \
  --duration 0.3 --input input=square,freq=5,amp=4 --set rise_time=40 --set fall_time=10
panel "CV" input:guide output

scene hysteresis gate "zul-cv-gate: opens at 3, closes at 1; a level between keeps its state" \
  --duration 1 --input level=triangle,freq=2,amp=2.5,offset=2 --input input=sine,freq=25,amp=1
panel "level" level open_threshold:guide close_threshold:guide
panel "input" input
panel "output" output

scene held-reset range "zul-cv-range: values in 0..5 and outside it, each held; reset clears both" \
  --duration 2 --input input=sine,freq=1,amp=5,offset=2.5 --at 1.3 reset=1 --at 1.45 reset=0
panel "input" input range_low:guide range_high:guide
panel "inside" input:guide in_range_output
panel "outside" input:guide out_of_range_output
toggle "reset (0/1)" reset

scene stepped-control control \
  "zul-cv-control: a stepped control through the 550 Hz low-pass, then with smoothing off" \
  --duration 0.008 --block 16 --at 0.001 control=1 --at 0.003 control=0.25 --at 0.005 control=-0.5 \
  --at 0.006 smoothing=0 --at 0.007 control=0.5
panel "CV" control:guide output
toggle "smoothing (0/1)" smoothing
