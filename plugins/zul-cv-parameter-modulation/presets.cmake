# Factory presets of zul-cv-parameter-modulation (see zul_preset in
# cmake/ZulPlugin.cmake): output = input x depth / 100 + offset / 10, limited
# to 0 to 10 V.
zul_preset(bipolar-5-v-to-0-10-v "±5 V to 0..10 V"
  "Fits a bipolar LFO of ±5 V into the 0 to 10 V of a parameter: depth 100 %, offset 50 %."
  offset=50 depth=100 enable=1)
zul_preset(bipolar-10-v-to-0-10-v "±10 V to 0..10 V"
  "Fits a bipolar CV of ±10 V into 0 to 10 V: depth 50 %, offset 50 %."
  offset=50 depth=50 enable=1)
zul_preset(unipolar-5-v-to-0-10-v "0..5 V to 0..10 V"
  "Doubles a unipolar CV of 0 to 5 V (an envelope, a MIDI controller) to the whole 0 to 10 V: depth 200 %."
  offset=0 depth=200 enable=1)
zul_preset(invert "Invert"
  "Turns 0 to 10 V upside down, 0 V giving 10 V and 10 V giving 0 V: depth -100 %, offset 100 %."
  offset=100 depth=-100 enable=1)
