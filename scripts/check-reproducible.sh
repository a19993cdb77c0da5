#!/usr/bin/env bash
# Builds the shipped program (the win32 configuration, its program target
# only) in a fresh folder of a path unlike build/win32's and compares it byte
# for byte with PROGRAM; without PROGRAM, builds it twice in two such folders.
# The same commit must give the same bytes wherever it is built. Prints both
# SHA-256 sums; exits 0 when they are equal.
#
# Usage: scripts/check-reproducible.sh [PROGRAM]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/reproduce
rm -rf "$work"
build_in() {  # folder: prints the program's path
  mkdir -p "$(dirname "$1")"
  cmake -S "$root" -B "$1" --preset win32 >"$1.log" 2>&1 &&
    nice -n 10 cmake --build "$1" --target QuelvixRemovalTool >>"$1.log" 2>&1 ||
    { tail -30 "$1.log" >&2; return 1; }
  echo "$1/src/QuelvixRemovalTool.exe"
}
mkdir -p "$work"
first=${1:-}
if [ -z "$first" ]; then
  first=$(build_in "$work/first") || exit 1
fi
second=$(build_in "$work/a-second-folder/further-down") || exit 1
sha256sum "$first" "$second"
if cmp "$first" "$second"; then
  rm -rf "$work"
  exit 0
fi
echo "the two builds differ (kept in $work)"
exit 1
