#!/usr/bin/env bash
# The memory scanner's speed under Wine in both read modes (one read per
# 64 KB window, and spans of sixteen windows), beside reading the same
# modules' files once (bench/README.md). Run by hand, never by the tests:
#
#   bench/memory-scan-bench.sh [--repeat N] [--hosts N]
#
# Builds the win64 benchmark program, makes a fresh Wine prefix that has no
# drive but its own C: (the scan reads the processes of that prefix's own
# wineserver and nothing of the machine), and runs memory_scan_bench.exe
# there from C:\bench\ with the options given (default: 5 rounds, 3 waiting
# copies of itself as processes with large images of ours). The report is
# also written to build/memory-scan-bench-report.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh

work=$root/build/memory-scan-bench
prefix=$work/prefix
report=$root/build/memory-scan-bench-report.txt
cleanup() {
  if [ -d "$prefix" ]; then qrt_wine_stop_server "$prefix"; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work"
exec > >(tee "$report") 2>&1

if ! { cmake --preset win64 >"$work/configure.log" 2>&1 &&
  cmake --build --preset win64 --target memory_scan_bench >"$work/build.log" 2>&1; }; then
  tail -40 "$work/configure.log" "$work/build.log"
  exit 1
fi

qrt_wine_new_prefix "$prefix"
qrt_wine_confine "$prefix"
mkdir -p "$prefix/drive_c/bench"
cp "$root/build/win64/bench/memory_scan_bench.exe" "$prefix/drive_c/bench/"
export WINEPREFIX=$prefix
qrt_wine_start_server "$prefix"
qrt_wine_warm_up "$prefix"

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
(cd "$prefix/drive_c/bench" &&
  timeout 600 "$QRT_WINE" 'C:\bench\memory_scan_bench.exe' "$@" </dev/null)
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
