#!/usr/bin/env bash
# Remakes resources/word_frequency.bin from the sample described in
# docs/word-frequency.md. Builds the native preset's word-frequency tool first.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset native >/dev/null
cmake --build --preset native --target word-frequency -j2 >/dev/null
sample=(
  /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
  /usr/lib/x86_64-linux-gnu/wine/i386-windows
  /usr/share/doc
  /usr/share/icons
  /usr/share/fonts
  /usr/share/locale
)
for dir in "${sample[@]}"; do
  [ -d "$dir" ] || { echo "missing sample folder $dir" >&2; exit 1; }
done
# The mingw runtime DLLs: 32-bit and 64-bit Windows code built by another compiler.
mapfile -t dlls < <(find /usr/lib/gcc/i686-w64-mingw32 /usr/lib/gcc/x86_64-w64-mingw32 -name '*.dll' | sort)
build/native/tools/word-frequency/word-frequency resources/word_frequency.bin "${sample[@]}" "${dlls[@]}"
