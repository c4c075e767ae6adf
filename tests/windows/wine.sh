#!/usr/bin/env bash
# wine.sh PREFIX PROGRAM [ARGUMENT...]: runs a Windows program under wine64 in
# the wine prefix PREFIX, never ~/.wine: the tests keep theirs inside the
# build directory. wine.sh PREFIX --boot makes the prefix, once: wineboot, and
# then waits for the wine server to write the registry out.
# Without a display nothing can be shown, and .NET and the HTML engine, which
# no test needs, are left out so that wine does not ask to install them.
set -euo pipefail
# wine takes an absolute path only.
WINEPREFIX=$(realpath -m "$1")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
shift
# Debian's wine64 package puts no wine64 on PATH.
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
if [ "${1:-}" = --boot ]; then
  [ -e "$WINEPREFIX/system.reg" ] && exit 0
  "$wine" wineboot --init
  exec "$(dirname "$wine")/wineserver" --wait
fi
exec "$wine" "$@"
