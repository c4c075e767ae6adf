# Factory presets of zul-cv-control (see zul_preset in cmake/ZulPlugin.cmake).
# They set the smoothing alone and leave the control value where it is.
zul_preset(smooth "Smooth"
  "Steps of the control glide through the 550 Hz low-pass, in about 0.3 ms, so that no click reaches what the CV drives."
  smoothing=1)
zul_preset(steps "Steps"
  "The output jumps to each new control value: for gates and triggers set by hand."
  smoothing=0)
