#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, only those that are
# missing, and enables Debian's source packages (the shipped program's C
# runtime is rebuilt from one: scripts/build-i486-crt.sh).
set -euo pipefail
cd "$(dirname "$0")"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

if ! apt-cache showsrc mingw-w64 2>/dev/null | grep -q '^Package:'; then
  # The source entries mirror the binary ones of the machine's own list.
  sources=/etc/apt/sources.list.d/qrt-deb-src
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    [ -f "$sources.sources" ] ||
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $sudo tee "$sources.sources" >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    [ -f "$sources.list" ] ||
      sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee "$sources.list" >/dev/null
  fi
  echo "setup: enabling source packages"
  $sudo apt-get update -q
fi

missing=()
while read -r package; do
  case "$package" in ''|'#'*) continue ;; esac
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done < packages.txt
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi
echo "setup: installing ${missing[*]}"
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
