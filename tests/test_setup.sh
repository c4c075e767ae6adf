#!/usr/bin/env bash
# test_setup.sh SOURCE_DIR
# scripts/setup.sh installs for each purpose what that purpose needs and
# nothing of the others', and answers jackd2's realtime question only in an
# unattended CI run (CI=true); each script that calls it asks for its own
# purpose. Fakes stand in for dpkg-query (nothing is installed), dpkg,
# apt-get, sudo and debconf-set-selections, which log what they are asked,
# and for cmake, which fails: a script stops right after its setup.
set -uo pipefail
src=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
fake() { printf '#!/bin/sh\n%s\n' "$2" >"$scratch/bin/$1" && chmod +x "$scratch/bin/$1"; }
fake dpkg-query 'exit 1'
fake dpkg '[ "$1" = --print-foreign-architectures ] || echo "dpkg $*" >>"$LOG"'
fake sudo 'exec "$@"'
fake apt-get 'echo "apt-get $*" >>"$LOG"'
fake debconf-set-selections 'echo "debconf-set-selections $(cat)" >>"$LOG"'
fake cmake 'exit 1'
failed=0
fail() { echo "FAIL $*"; failed=1; }

# run [VAR=VALUE...] COMMAND...: COMMAND in the source tree with the fakes,
# CI and ZUL_CV_STAGES set only as given; prints the fakes' log.
run() {
  : >"$scratch/log"
  (cd "$src" && env -u CI -u ZUL_CV_STAGES PATH="$scratch/bin:$PATH" LOG="$scratch/log" "$@" \
    >"$scratch/out" 2>&1)
  echo "exit $?"
  cat "$scratch/log"
}
# The packages of a log's apt-get install, one a line, sorted.
installs() { sed -n 's/^apt-get install .*--no-install-recommends //p' <<<"$1" | tr ' ' '\n' | sort; }

answer='debconf-set-selections jackd2 jackd/tweak_rt_limits boolean false'
# purpose | CI | installs at least | installs none of ("others": nothing else) | answers jackd2
while IFS='|' read -r purpose ci wanted unwanted answers; do
  label="setup.sh $purpose${ci:+ with CI=$ci}"
  log=$(run ${ci:+CI=$ci} scripts/setup.sh "$purpose")
  [ "$(head -1 <<<"$log")" = "exit 0" ] || fail "$label: $(head -1 <<<"$log"): $(cat "$scratch/out")"
  got=$(installs "$log")
  for p in $wanted; do grep -qx -- "$p" <<<"$got" || fail "$label: does not install $p"; done
  if [ "$unwanted" = others ]; then
    extra=$(comm -13 <(tr ' ' '\n' <<<"$wanted" | sort) <(echo "$got") | paste -sd ' ')
    [ -z "$extra" ] || fail "$label: installs $extra too"
  fi
  for p in ${unwanted/others/}; do grep -qx -- "$p" <<<"$got" && fail "$label: installs $p"; done
  debconf=$(grep '^debconf-set-selections' <<<"$log")
  case $answers in
    yes) [ "$debconf" = "$answer" ] || fail "$label: jackd2's question not answered: ${debconf:-no debconf}" ;;
    no) [ -z "$debconf" ] || fail "$label: answers for debconf: $debconf" ;;
  esac
done <<'EOF'
demo||cmake g++ make pkgconf lv2-dev liblilv-dev libsndfile1-dev gnuplot-nox|others|no
demo|true|cmake g++ make pkgconf lv2-dev liblilv-dev libsndfile1-dev gnuplot-nox|others|no
bench||cmake lv2-dev libbenchmark-dev valgrind lilv-utils lv2-examples|jackd2 ardour lintian libgtest-dev clang|no
fuzz||cmake lv2-dev clang libclang-rt-dev|jackd2 libgtest-dev valgrind libsndfile1-dev|no
tests||gnuplot-nox libgtest-dev libbenchmark-dev clang-format jackd2 jalv ardour lintian|valgrind clang qemu-user wine64|no
tests|true|jackd2 libgtest-dev|valgrind|yes
checks||jackd2 valgrind clang qemu-user wine64 libsndfile1-dev:arm64|ardour7|no
checks|true|jackd2 valgrind clang qemu-user wine64 libsndfile1-dev:arm64|ardour7|yes
EOF

# Each script installs what its own purpose needs: the same as setup.sh for it.
# (scripts/fuzz.sh clears its staging before it configures: not run here.)
# script | its environment | purpose
while IFS='|' read -r script vars purpose; do
  label="$script${vars:+ with $vars}"
  want=$(installs "$(run scripts/setup.sh "$purpose")")
  got=$(installs "$(run $vars "$script")")
  [ -n "$got" ] && [ "$got" = "$want" ] ||
    fail "$label: does not install what setup.sh $purpose does: $(paste -sd ' ' <<<"$got")"
done <<'EOF'
scripts/demo.sh||demo
scripts/bench.sh||bench
scripts/test.sh|ZUL_CV_STAGES=default|tests
scripts/test.sh||checks
scripts/distro.sh||checks
EOF

[ $failed -eq 0 ] && echo "setup: every purpose and script installs its own"
exit $failed
