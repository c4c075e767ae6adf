# Factory presets of zul-cv-gate (see zul_preset in cmake/ZulPlugin.cmake).
zul_preset(trigger-at-2-5-v "Trigger at 2.5 V"
  "For gates and triggers of 0 to 5 V: opens at 2.5 V and closes at 1.5 V, so that noise on the level does not chatter."
  open_threshold=2.5 close_threshold=1.5 enable=1)
zul_preset(open-above-0-v "Open above 0 V"
  "Open while the level is above 0 V and closed at or below it, with no band: passes the input during the positive half of an LFO."
  open_threshold=0 close_threshold=0 enable=1)
zul_preset(wide-band-1-to-4-v "Wide band 1 V to 4 V"
  "Opens when the level reaches 4 V and closes only when it falls to 1 V: a slow envelope or LFO opens the gate once per cycle."
  open_threshold=4 close_threshold=1 enable=1)
