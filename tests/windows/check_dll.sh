#!/usr/bin/env bash
# check_dll.sh DLL
# The Windows counterpart of check_library.sh. Fails unless the plugin DLL
# exports lv2_descriptor alone, imports from KERNEL32.dll and msvcrt.dll
# only (what every Windows has: the GCC and C++ runtimes are linked in), its
# run() calls no imported function and makes no indirect call, not even
# through the local functions it calls, and no function of its AVX2 variant
# moves a ymm register to or from the stack with an aligned move: Windows
# keeps the stack aligned to 16 bytes only, and such a slot at an odd 16
# faults where the processor does, whatever wine does. OBJDUMP names MinGW's
# objdump.
set -euo pipefail
dll=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
status=0

headers=$("$objdump" -p "$dll")
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
  table && /^\t\[ *[0-9]+\] / { print $NF; next }
  { table = 0 }' <<<"$headers" | sort | tr '\n' ' ')
if [ "$exports" != "lv2_descriptor " ]; then
  echo "exports: '$exports', expected lv2_descriptor alone"
  status=1
fi

imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | sort | tr '\n' ' ')
if [ "$imports" != "KERNEL32.dll msvcrt.dll " ]; then
  echo "imports from: '$imports', expected KERNEL32.dll msvcrt.dll"
  status=1
fi

# One walk of the call graph serves both rules. From run(void*, unsigned
# int): a call or jump through memory (an import's __imp_ pointer, or its
# jmp thunk) or a register is a library call in the audio thread, and
# anything but the plugin's own C++ functions (a thunk, exp, a runtime
# helper) is not the plugin's code. From each run_avx2 instance: no aligned
# ymm move with a stack address.
"$objdump" -d --no-show-raw-insn "$dll" | awk '
  /^[0-9a-f]+ <.*>:$/ {
    fn = substr($2, 2, length($2) - 3)
    if (fn ~ /3run(E|I.*Ev)Pvj$/) runs[fn] = 1
    if (fn ~ /8run_avx2I/) avx2[fn] = 1
    next
  }
  fn == "" { next }
  /\tvmov(aps|apd|dqa|dqa32|dqa64)[ \t].*%ymm/ && /\(%r[sb]p\)/ { spill[fn] = spill[fn] "\n    " $0 }
  !/\t(rex\.W )?(call|jmp|j[a-z]+)[ \t]/ { next }
  /<__imp_[^>]*>$/ { imported[fn] = imported[fn] " " substr($NF, 8, length($NF) - 8); next }
  /\*/ { indirect[fn] = 1; next }
  match($0, /<[^>+]+>$/) { t = substr($0, RSTART + 1, RLENGTH - 2); if (t != fn) calls[fn] = calls[fn] " " t }
  # walk(roots): every function reachable from the roots, into reached[].
  function walk(roots,    f, queue, head, tail, m, k, targets) {
    split("", reached); head = 0; tail = 0
    for (f in roots) { queue[tail++] = f; reached[f] = 1 }
    while (head < tail) {
      f = queue[head++]
      m = split(calls[f], targets, " ")
      for (k = 1; k <= m; k++) if (!(targets[k] in reached)) { reached[targets[k]] = 1; queue[tail++] = targets[k] }
    }
    return tail
  }
  END {
    bad = 0
    if (walk(runs) == 0) { print "no run function found to check"; exit 1 }
    for (f in reached) {
      if (f !~ /^_Z/) { print "run reaches " f ", which is not the plugin'"'"'s own code"; bad = 1 }
      if (f in imported) { print "run calls imported functions in " f ":" imported[f]; bad = 1 }
      if (f in indirect) { print "run makes an indirect call in " f; bad = 1 }
    }
    if (walk(avx2) == 0) { print "no run_avx2 function found to check"; exit 1 }
    for (f in reached) {
      if (f in spill) { print "an aligned ymm move with a stack slot in " f ":" spill[f]; bad = 1 }
    }
    exit bad
  }' || status=1
exit $status
