#!/usr/bin/env bash
# bundle_files.sh BUNDLE
# Prints the files of a bundle that a host reads, relative to the bundle:
# manifest.ttl and every file that it names (the library, the plugin's
# Turtle, each preset's file), one a line, sorted.
set -euo pipefail
bundle=$(cd "$1" && pwd)
{
  echo manifest.ttl
  sordi "$bundle/manifest.ttl" "file://$bundle/" |
    awk '$2 == "<http://www.w3.org/2000/01/rdf-schema#seeAlso>" ||
         $2 == "<http://lv2plug.in/ns/lv2core#binary>" { print $3 }' |
    sed "s|^<file://$bundle/||; s|>\$||"
} | LC_ALL=C sort -u
