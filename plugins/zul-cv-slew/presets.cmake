# Factory presets of zul-cv-slew (see zul_preset in cmake/ZulPlugin.cmake).
# A time is a time constant: 63 % of the way in that time. 0.001 ms is
# shorter than one sample period at any rate below 1 MHz, so it arrives in one
# step.
zul_preset(portamento-50-ms "Portamento 50 ms"
  "Glides between the notes of a sequencer or keyboard at 1 V per octave: each step goes 63 % of the way in 50 ms, up and down alike."
  rise_time=50 fall_time=50 enable=1)
zul_preset(rise-only-200-ms "Rise only 200 ms (envelope)"
  "Rises with a time constant of 200 ms and falls at once: a gate becomes an envelope with a slow attack and no release."
  rise_time=200 fall_time=0.001 enable=1)
zul_preset(fall-only-200-ms "Fall only 200 ms (release)"
  "Rises at once and falls with a time constant of 200 ms: a gate becomes an envelope with a release."
  rise_time=0.001 fall_time=200 enable=1)
zul_preset(smooth-steps-5-ms "Smooth steps 5 ms"
  "Takes the edges off stepped CV (a sample and hold, a quantizer, a control moved by hand) without an audible glide."
  rise_time=5 fall_time=5 enable=1)
zul_preset(slow-drift-2-s "Slow drift 2 s"
  "Turns random or stepped CV into a slow drift: 63 % of the way to each new value in 2 seconds."
  rise_time=2000 fall_time=2000 enable=1)
