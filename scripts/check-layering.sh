#!/usr/bin/env bash
# Fails when a source file outside src/platform/win32 includes <windows.h>.
cd "$(dirname "$0")/.." || exit 1
hits=$(grep -rlE '#[[:space:]]*include[[:space:]]*[<"]windows\.h[>"]' src | grep -v '^src/platform/win32/')
if [ -n "$hits" ]; then
  echo "<windows.h> included outside src/platform/win32:"
  echo "$hits"
  exit 1
fi
