#!/usr/bin/env bash
# Sets up the machine, builds the Windows program and runs it under Wine on a
# virtual display: waits for its window, saves a screenshot of the screen
# (build/demo/window.png), prints what the window shows, clicks Exit and
# prints the program's exit status. Cleans up what it started.
#
# Start would scan every fixed drive of the prefix: the prefix has no Z: (the
# host's /), only its own C:, and the program and qrt-auto run from C:\qrt\.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
echo "demo: building the win64 program"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j2 --target QuelvixRemovalTool qrt_auto
tool=build/win64/src/QuelvixRemovalTool.exe
auto_exe=build/win64/tests/e2e/qrt-auto.exe

source scripts/wine-env.sh
out=$root/build/demo
prefix=$out/prefix
xvfb=""
tool_pid=""
server_up=false
cleanup() {
  [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null
  $server_up && qrt_wine_stop_server "$prefix"
  [ -n "$tool_pid" ] && wait "$tool_pid" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  cd "$root"
  rm -rf "$prefix" "$out/display"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "demo: making a fresh Wine prefix without Z:"
mkdir -p "$out"
rm -f "$out/window.png"
qrt_wine_new_prefix "$prefix"
qrt_wine_confine "$prefix"
mkdir "$prefix/drive_c/qrt"
cp "$tool" "$auto_exe" "$prefix/drive_c/qrt/"
export WINEPREFIX=$prefix
# Wine's current folder is C:\qrt\.
cd "$prefix/drive_c/qrt"
"$QRT_WINESERVER" -w

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$out/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$out/display" ] && break
  sleep 0.1
done
[ -s "$out/display" ] || { echo "demo: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -1 "$out/display")
qrt_wine_start_server "$prefix"
server_up=true

auto() { "$QRT_WINE" 'C:\qrt\qrt-auto.exe' "$@" </dev/null; }
button() {  # id
  printf '%s (%s)' "$(auto text "$1")" "$(auto enabled "$1")"
}

echo "demo: starting $tool under Wine on display $DISPLAY"
"$QRT_WINE" 'C:\qrt\QuelvixRemovalTool.exe' </dev/null &
tool_pid=$!
title=$(auto wait-window --timeout 60000)
# The clock shows one second after the window opens.
sleep 2
import -display "$DISPLAY" -window root "$out/window.png"

echo
echo "Window title:      $title"
echo "Buttons:           $(button 1000), $(button 1001), $(button 1005)"
echo "Clock (pane 1):    $(auto status-pane 1)"
sleep 1
echo "Clock a bit later: $(auto status-pane 1)"
echo "Screenshot:        build/demo/window.png"
echo
echo "demo: clicking Exit"
auto click 1005 --wait-exit
wait "$tool_pid"
tool_pid=""
