#!/usr/bin/env bash
# Runs the README's recipes as a reader would, in a copy of the source tree:
# the build, each way to install with its removal, jalv with a factory
# preset, a zul-render line and the demo. Each install must do what the
# README says and each removal must leave the machine's files as it found
# them; afterwards git sees the copy as it saw it before. A recipe is the
# fenced block whose info string says recipe:NAME. Needs root (or sudo):
# it installs into /usr and /usr/local. Refuses to run where zul-cv is
# installed in any of those ways already.
set -euo pipefail
[ "$(id -u)" -eq 0 ] || exec sudo "$0" "$@"
source="$(cd "$(dirname "$0")/.." && pwd)"
fail() {
  printf 'FAIL %s\n' "$@"
  exit 1
}
unset LV2_PATH
ours=(zul-cv zul-cv-audio zul-cv-tools)
# The packages of ours that dpkg has installed.
installed() {
  dpkg-query -W -f='${Package} ${Status}\n' "${ours[@]}" 2>/dev/null | grep ' installed$' || true
}
if [ -n "$(installed)" ] || compgen -G "/usr/local/lib/lv2/zul-cv-*" >/dev/null ||
  compgen -G "$HOME/.lv2/zul-cv-*" >/dev/null || [ -e /tmp/slew ] || [ -e /tmp/slew.png ]; then
  fail "zul-cv is installed here already (a package, /usr/local/lib/lv2 or ~/.lv2), or" \
    "/tmp/slew or /tmp/slew.png exists: remove them first"
fi

scratch=$(mktemp -d /tmp/zul-recipes.XXXXXX)
tree="$scratch/zul-cv"
cleanup() {
  pkill -f '^jackd -n try ' || true
  dpkg --purge "${ours[@]}" >/dev/null 2>&1 || true
  rm -rf /usr/local/lib/lv2/zul-cv-*.lv2 /usr/local/share/doc/zul-cv* /tmp/slew /tmp/slew.png "$scratch"
}
trap cleanup EXIT

# recipe NAME: the commands of the README's block NAME.
recipe() {
  awk -v tag="recipe:$1" '$0 ~ "^```" { if (inside) exit; inside = ($2 == tag); next } inside' \
    "$tree/README.md"
}
# run_recipe NAME: runs them in the copy, as a reader's shell would, and
# answers yes where apt asks.
run_recipe() {
  local text
  text=$(recipe "$1")
  [ -n "$text" ] || fail "README.md has no recipe:$1"
  echo "--- recipe:$1"
  (cd "$tree" && bash -euo pipefail -c "$text" < <(yes))
}
# The files and folders where the recipes install, and our installed packages.
machine() {
  find /usr /etc /opt "$HOME" -xdev -path "$scratch" -prune -o -printf '%y %p\n' | LC_ALL=C sort
  installed
}
same_machine() {
  diff <(echo "$1") <(machine) >"$scratch/diff" ||
    fail "$2 left the machine changed:" "$(head -n 20 "$scratch/diff")"
}
plugins_listed() {
  local n
  n=$(lv2ls 2>/dev/null | grep -c '^http://zul-cv.org/plugins/zul-devel/zul-cv-' || true)
  [ "$n" -eq "$1" ] || fail "$2: lv2ls lists $n of our plugins, not $1"
}

# A copy with the tree's own changes and git's view of them, without builds.
mkdir "$tree"
tar -C "$source" --exclude='./build' --exclude='./build-*' --exclude=./demo-out -cf - . | tar -C "$tree" -xf -
git_before=$(git -C "$tree" status --porcelain)

run_recipe build

before=$(machine)
run_recipe package
plugins_listed 9 "recipe:package"
command -v zul-render >/dev/null || fail "recipe:package installed no zul-render"

# jalv on the recipe's private server: the commands the README shows, then
# the server stopped as it says.
preset=$(grep -o '`preset http://[^`]*`' "$tree/README.md" | tr -d '`') ||
  fail "README.md shows no jalv preset command"
grep -q '`presets` lists' "$tree/README.md" || fail "README.md does not say to list the presets first"
{ printf 'presets\n%s\ncontrols\n' "$preset" && sleep 2; } |
  (cd "$tree" && timeout 30 bash -c "$(recipe jalv)
kill %1") >"$scratch/jalv.log" 2>&1 || true
tr '>' '\n' <"$scratch/jalv.log" | grep -q '^ *rise_time = 50\.0*$' ||
  fail "recipe:jalv did not apply $preset:" "$(tail -n 30 "$scratch/jalv.log")"

run_recipe render
[ -s /tmp/slew/output.wav ] && [ -s /tmp/slew.png ] || fail "recipe:render wrote no output.wav or plot"
rm -r /tmp/slew /tmp/slew.png
run_recipe package-remove
same_machine "$before" "recipe:package and recipe:package-remove"

# For one user: into a new user's home (as /etc/skel makes it, no ~/.lv2),
# then one with plugins and a ~/.local/share of its own.
real_home=$HOME
for home in fresh lived-in; do
  export HOME="$scratch/$home"
  mkdir -p "$HOME"
  touch "$HOME/.profile" "$HOME/.bashrc"
  if [ $home = lived-in ]; then
    mkdir -p "$HOME/.lv2/other.lv2" "$HOME/.local/share/applications"
  fi
  before=$(machine)
  run_recipe user
  plugins_listed 9 "recipe:user ($home home)"
  run_recipe user-remove
  same_machine "$before" "recipe:user and recipe:user-remove ($home home)"
done
export HOME=$real_home

before=$(machine)
run_recipe system
plugins_listed 9 "recipe:system"
run_recipe system-remove
same_machine "$before" "recipe:system and recipe:system-remove"

(cd "$tree" && scripts/demo.sh >"$scratch/demo.log" 2>&1) || fail "scripts/demo.sh:" "$(tail -n 20 "$scratch/demo.log")"
[ "$(git -C "$tree" status --porcelain)" = "$git_before" ] ||
  fail "the recipes left files in the tree:" "$(git -C "$tree" status --porcelain)"
echo "PASS the README's recipes"
