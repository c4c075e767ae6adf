#!/usr/bin/env bash
# newest_glibc.sh READELF LIBRARY...
# Prints the newest GLIBC_ symbol version that any of the libraries needs, as
# READELF (the target's, for a cross build) reads their version needs: the
# first C library release with every symbol they use. The package's Depends of
# a cross build comes from it, and the package test checks every Depends by it.
set -euo pipefail
readelf=$1
shift
for library in "$@"; do
  "$readelf" -V -W "$library"
done | sed -n 's/.*Name: GLIBC_\([0-9.]*\) .*/\1/p' | sort -V | tail -n 1
