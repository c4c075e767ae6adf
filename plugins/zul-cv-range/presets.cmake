# Factory presets of zul-cv-range (see zul_preset in cmake/ZulPlugin.cmake).
zul_preset(one-octave-0-1-v "One octave 0..1 V"
  "Splits a pitch CV at 1 V per octave: notes of the octave from 0 V to 1 V go to the in-range output, all others to the out-of-range output."
  range_low=0 range_high=1 reset=0)
zul_preset(positive-negative "Positive / negative"
  "Splits a bipolar CV into its halves: 0 V and above to the in-range output, below 0 V to the out-of-range output, each holding its last value."
  range_low=0 range_high=10 reset=0)
zul_preset(window-1-v "Window ±1 V"
  "In range while the value stays within 1 V of 0 V: the out-of-range output catches the peaks of an LFO or envelope."
  range_low=-1 range_high=1 reset=0)
