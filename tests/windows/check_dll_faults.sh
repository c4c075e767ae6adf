#!/usr/bin/env bash
# check_dll_faults.sh CHECK_DLL FAULTS_DLL
# Fails unless check_dll.sh fails on the DLL of faults.cpp and names each of
# its faults.
set -uo pipefail
out=$("$1" "$2")
if [ $? -eq 0 ]; then
  echo "check_dll.sh passed $2"
  exit 1
fi
status=0
for fault in "exports: 'lv2_descriptor second_export '" "imports from: 'KERNEL32.dll USER32.dll" \
  "run calls imported functions in _ZN3zul5frame3runIiEEvPvj: MessageBeep" \
  "run reaches abort, which is not the plugin's own code" \
  "run makes an indirect call in _ZN3zul5frame3runIiEEvPvj" \
  "an aligned ymm move with a stack slot in _ZN3zul5frame8run_avx2IiEEvRT_j"; do
  if [[ $out != *"$fault"* ]]; then
    echo "check_dll.sh did not report: $fault"
    status=1
  fi
done
[ $status -eq 0 ] || echo "$out"
exit $status
