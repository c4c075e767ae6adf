#!/usr/bin/env bash
# check_library.sh LIBRARY NEEDED...
# Fails unless the plugin library exports lv2_descriptor alone, needs exactly
# the given shared libraries, imports nothing but the C runtime's own symbols,
# malloc and free, and its run() calls no imported function, not even through
# the local functions it calls. OBJDUMP, READELF and NM name the binutils to
# use (a cross build's own); the machine's by default.
set -euo pipefail
lib=$1
shift
status=0
objdump=${OBJDUMP:-objdump}
readelf=${READELF:-readelf}
nm=${NM:-nm}

exports=$("$nm" -D --defined-only "$lib" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$exports" != "lv2_descriptor " ]; then
  echo "exports: '$exports', expected lv2_descriptor alone"
  status=1
fi

needed=$("$readelf" -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
wanted=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
if [ "$needed" != "$wanted" ]; then
  echo "NEEDED: '$needed', expected '$wanted'"
  status=1
fi

# Every function the library imports is one it is known to call outside
# run(); a new one (floorf, memcpy, a lock) must be looked at, and allowed here.
# getauxval: on 32-bit ARM, instantiate asks the kernel whether the processor
# has VFPv4. __stack_chk_fail: the stack protector's, where a distribution's
# flags turn it on, outside run (the walk below holds run to none).
allowed="__cxa_finalize __gmon_start__ _ITM_deregisterTMCloneTable _ITM_registerTMCloneTable free getauxval malloc __stack_chk_fail"
unexpected=$("$nm" -D --undefined-only "$lib" | awk '{sub(/@.*/, "", $NF); print $NF}' | sort |
  while read -r symbol; do
    [[ " $allowed " == *" $symbol "* ]] || printf '%s ' "$symbol"
  done)
if [ -n "$unexpected" ]; then
  echo "imports: '$unexpected' beyond the allowed '$allowed'"
  status=1
fi

# Walk the call graph from run(void*, unsigned int): a call or tail jump into
# the PLT, or through a register or memory, is a library call in the audio
# thread; so is a call into anything but the plugin's own C++ functions, such
# as a compiler helper linked in from libgcc (__aeabi_d2lz, __udivdi3).
"$objdump" -d --no-show-raw-insn "$lib" | awk '
  /^[0-9a-f]+ <.*>:$/ { fn = substr($2, 2, length($2) - 3); if (fn ~ /3run(E|I.*Ev)Pvj$/) roots[fn] = 1; next }
  fn == "" { next }
  /\t(blr|br|blx|bx)[ \t]+[rx][0-9]/ { indirect[fn] = 1; next }
  !/\t(call|jmp|bl|b|b\.w|blx)[ \t]/ { next }
  /@plt>$/ { plt[fn] = plt[fn] " " $NF; next }
  /\*/ { indirect[fn] = 1; next }
  match($0, /<[^>+]+>$/) { t = substr($0, RSTART + 1, RLENGTH - 2); if (t != fn) calls[fn] = calls[fn] " " t }
  END {
    head = 0; tail = 0; bad = 0
    for (f in roots) { queue[tail++] = f; visited[f] = 1 }
    if (tail == 0) { print "no run function found to check"; exit 1 }
    while (head < tail) {
      f = queue[head++]
      if (f !~ /^_Z/) { print "run reaches " f ", which is not the plugin'"'"'s own code"; bad = 1 }
      if (f in plt) { print "run reaches library calls in " f ":" plt[f]; bad = 1 }
      if (f in indirect) { print "run makes an indirect call in " f; bad = 1 }
      m = split(calls[f], targets, " ")
      for (k = 1; k <= m; k++) if (!(targets[k] in visited)) { visited[targets[k]] = 1; queue[tail++] = targets[k] }
    }
    exit bad
  }' || status=1
exit $status
