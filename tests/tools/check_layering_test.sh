#!/usr/bin/env bash
# The layering check on small trees: it passes a tree whose includes go
# downwards and fails, naming the include, on each kind of fault.
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# tree NAME FILE:LINE... makes $work/NAME/src with one line per file.
tree() {
  local dir=$work/$1
  shift
  for spec in "$@"; do
    mkdir -p "$dir/src/$(dirname "${spec%%:*}")"
    echo "${spec#*:}" >>"$dir/src/${spec%%:*}"
  done
  echo "$dir/src"
}

expect() {  # pass|fail expected-text src
  local want=$1 text=$2 src=$3 out
  out=$("$root/scripts/check-layering.sh" "$src" 2>&1)
  local got=$?
  if { [ "$want" = pass ] && [ $got -ne 0 ]; } || { [ "$want" = fail ] && [ $got -eq 0 ]; } ||
     ! grep -qF -- "$text" <<<"$out"; then
    echo "FAIL: expected $want with '$text' for $src:"
    echo "$out"
    status=1
  fi
}

expect pass "every include follows the direction" "$(tree good \
  'app/a.cpp:#include "engine/scan_engine.h"' \
  'engine/e.h:#include "detect/file_scanner.h"' \
  'signatures/s.h:#include "common/text.h"' \
  'platform/win32/w.cpp:#include <windows.h>' \
  'platform/fake/f.h:#include "platform/files.h"' \
  'common/c.cpp:#include "resource_ids.h"')"
expect fail "'signatures' must not include \"scan/malware_handler.h\"" "$(tree upward \
  'signatures/s.h:#include "scan/malware_handler.h"')"
expect fail "'detect' must not include \"removal/file_removal.h\"" "$(tree sideways \
  'detect/d.cpp:#include "removal/file_removal.h"')"
expect fail "'platform' must not include \"platform/fake/fake_system.h\"" "$(tree backend \
  'platform/system.h:#include "platform/fake/fake_system.h"')"
expect fail "'platform/fake' must not include \"platform/win32/windows_api.h\"" "$(tree backends \
  'platform/fake/f.cpp:#include "platform/win32/windows_api.h"')"
expect fail "includes <windows.h> outside src/platform/win32" "$(tree windows \
  'app/a.cpp:#include <windows.h>')"
expect fail "folder 'extras' is not a layer" "$(tree unknown 'extras/x.h:// nothing')"
exit $status
