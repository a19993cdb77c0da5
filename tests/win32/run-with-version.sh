#!/usr/bin/env bash
# Runs a win64 test program under Wine with the Windows version VERSION
# (win98, nt40, ...), in a fresh prefix of its own that is deleted afterwards:
#   run-with-version.sh VERSION EXE GTEST_FILTER
# The program's own PSAPI.DLL is preferred to Wine's built-in one
# (psapi=n,b). GTEST_OUTPUT passes through to the program, and so does
# QRT_WIN9X_STUBS: with QRT_WIN9X_STUBS=1 and VERSION win98 the program's text
# binding (src/platform/win32/text_api.h) binds the wide functions to stubs
# that fail as on Windows 98, so that the narrow path is what runs; with
# QRT_WIN9X_STUBS=force it does so under any VERSION.
set -euo pipefail
version=$1
exe=$2
filter=$3
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"

prefix=$QRT_ROOT/build/wine/$version-$$
cleanup() {
  qrt_wine_stop_server "$prefix"
  rm -rf "$prefix"
}
trap cleanup EXIT

qrt_wine_new_prefix "$prefix"
qrt_wine_set_version "$prefix" "$version"
qrt_wine_stop_server "$prefix"
qrt_wine_start_server "$prefix"
qrt_wine_warm_up "$prefix"
export WINEPREFIX=$prefix
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;psapi=n,b"
timeout 300 "$QRT_WINE" "$exe" --gtest_filter="$filter" </dev/null
