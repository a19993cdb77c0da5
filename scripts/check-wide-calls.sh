#!/usr/bin/env bash
# Fails when the Win32 backend calls a wide (...W) system function directly
# instead of through its text binding (src/platform/win32/text_api.h), which
# takes the narrow functions on Windows 95/98/ME. Allowed everywhere: the
# wide functions that those systems implement for real, as listed in the
# binding (kImplementedOn9x in text_binding.cpp). Not checked: the binding
# itself (text_api.h, text_functions.h, text_binding.cpp), and psapi/, the
# library that only Windows NT 4 loads.
#
# Usage: scripts/check-wide-calls.sh [BACKEND_DIR]   (default: src/platform/win32)
cd "$(dirname "$0")/.." || exit 1
backend=${1:-src/platform/win32}
binding=src/platform/win32/text_binding.cpp

# The quoted names between "kImplementedOn9x[] = {" and the closing "};".
implemented=$(sed -n '/kImplementedOn9x\[\] = {/,/};/p' "$binding" | grep -o '"[A-Za-z0-9_]*"' |
  tr -d '"')
if [ -z "$implemented" ]; then
  echo "check-wide-calls: no list of functions implemented on Windows 95/98/ME in $binding"
  exit 1
fi

status=0
while IFS= read -r file; do
  case "$file" in
    */text_api.h | */text_functions.h | */text_binding.cpp | */psapi/*) continue ;;
  esac
  # Calls "::NameW(" not qualified by a namespace (api::NameW( is the binding).
  while IFS=: read -r line name; do
    [ -n "$name" ] || continue
    if ! grep -qx "$name" <<<"$implemented"; then
      echo "$file:$line: ::$name( calls a wide function directly; use api::$name( (text_api.h)"
      status=1
    fi
  done < <(grep -noP '(?<![A-Za-z0-9_])::\K[A-Za-z0-9_]*W(?=\s*\()' "$file")
done < <(find "$backend" -name '*.cpp' -o -name '*.h' | sort)
exit $status
