#!/usr/bin/env bash
# Checks the direction of includes between the layers of src/ (see
# docs/architecture.md) and that only the Win32 backend includes <windows.h>.
# Fails with every include against the direction.
#
# Usage: scripts/check-layering.sh [SRC_DIR]   (default: src)
cd "$(dirname "$0")/.." || exit 1
src=${1:-src}

# What each folder may include besides itself. Includes without a folder
# (the resources' "resource_ids.h", generated tables) are always allowed.
declare -A allowed=(
  [common]=""
  [platform]="common"
  [platform/win32]="common platform"
  [platform/fake]="common platform"
  [signatures]="common"
  [system]="common platform signatures"
  [scan]="common platform signatures system"
  [descriptions]="common platform signatures system scan"
  [detect]="common platform signatures system scan"
  [removal]="common platform signatures system scan descriptions"
  [handlers]="common platform signatures system scan descriptions removal"
  [engine]="common platform signatures system scan descriptions detect removal handlers"
  [app]="common platform signatures system scan descriptions detect removal handlers engine"
)

# The layer of a path below src/: platform/win32 and platform/fake are layers
# of their own, every other folder is its first component.
layer_of() {
  case "$1" in
    platform/win32/*) echo platform/win32 ;;
    platform/fake/*) echo platform/fake ;;
    */*) echo "${1%%/*}" ;;
    *) echo "" ;;
  esac
}

status=0
while IFS= read -r file; do
  rel=${file#"$src"/}
  from=$(layer_of "$rel")
  if [ -z "${allowed[$from]+set}" ]; then
    echo "$file: folder '$from' is not a layer (add it to scripts/check-layering.sh and docs/architecture.md)"
    status=1
    continue
  fi
  while IFS= read -r line; do
    number=${line%%:*}
    target=$(sed -E 's/^[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$line")
    to=$(layer_of "$target")
    [ -z "$to" ] && continue
    [ "$to" = "$from" ] && continue
    # A backend's headers and the platform interfaces are one area.
    case " ${allowed[$from]} " in
      *" $to "*) continue ;;
    esac
    echo "$file:$number: '$from' must not include \"$target\" ('$to')"
    status=1
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
  if [ "$from" != platform/win32 ] &&
     grep -qiE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]windows\.h[>"]' "$file"; then
    echo "$file: includes <windows.h> outside src/platform/win32"
    status=1
  fi
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

[ $status -eq 0 ] && echo "layering: every include follows the direction"
exit $status
