#!/usr/bin/env bash
# Runs a 64-bit Windows program under Wine: the cross-compiling emulator of
# the win64 build (ctest runs the test programs through it).
# The prefix is $QRT_WINEPREFIX, by default build/wine/tests, copied from the
# template when it does not exist yet.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
export WINEPREFIX=${QRT_WINEPREFIX:-$QRT_ROOT/build/wine/tests}
if [ ! -f "$WINEPREFIX/.ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$WINEPREFIX/.ready" ] || qrt_wine_new_prefix "$WINEPREFIX"
  ) 9>"$WINEPREFIX.lock"
fi
# A test may ask for more DLL overrides, e.g. psapi=n,b to load a PSAPI.DLL of its own.
if [ -n "${QRT_WINE_EXTRA_OVERRIDES:-}" ]; then
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$QRT_WINE_EXTRA_OVERRIDES"
fi
exec "$QRT_WINE" "$@" </dev/null
