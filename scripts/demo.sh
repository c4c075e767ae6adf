#!/usr/bin/env bash
# Installs what is missing, builds and stages the bundles, then shows every
# staged plugin and its ports as an LV2 host sees them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh -DZUL_CV_TESTS=OFF
export LV2_PATH="$PWD/build/lv2"
for bundle in build/lv2/*.lv2; do
  uri=$(sed -n 's/^<\(.*\)>$/\1/p' "$bundle/manifest.ttl")
  lv2info "$uri"
done
