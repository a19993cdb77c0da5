# Wine settings and helpers for the project's scripts; source this file.
#
# Every Wine call goes through /usr/lib/wine/wine64 with an explicit prefix,
# no debug output, no Mono/Gecko installers, no menu builder, and no stdin.

QRT_ROOT=${QRT_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
QRT_WINE=/usr/lib/wine/wine64
QRT_WINESERVER=/usr/lib/wine/wineserver64
# A ready prefix that new prefixes are copied from.
QRT_WINE_TEMPLATE=${QRT_WINE_TEMPLATE:-$QRT_ROOT/build/wine/template}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
export WINEARCH=win64

# Fonts for readable windows (Debian's fonts-wine): Wine does not find them
# by itself when started as /usr/lib/wine/wine64.
QRT_WINE_FONTS=/usr/share/wine/fonts
# Raised whenever the making of the template changes: an older template is
# made again.
QRT_WINE_TEMPLATE_VERSION=3

# Makes the template prefix once: a new prefix, its links out of C: (the
# user's shell folders lead into $HOME, Templates among them, below AppData)
# replaced by plain folders, windows that close without a 2 s stall, and the
# fonts.
qrt_wine_template() {
  [ "$(cat "$QRT_WINE_TEMPLATE/.ready" 2>/dev/null)" = "$QRT_WINE_TEMPLATE_VERSION" ] && return 0
  mkdir -p "$(dirname "$QRT_WINE_TEMPLATE")"
  (
    flock 9
    [ "$(cat "$QRT_WINE_TEMPLATE/.ready" 2>/dev/null)" = "$QRT_WINE_TEMPLATE_VERSION" ] && exit 0
    rm -rf "$QRT_WINE_TEMPLATE"
    export WINEPREFIX=$QRT_WINE_TEMPLATE
    "$QRT_WINE" wineboot -i </dev/null >/dev/null 2>&1
    "$QRT_WINESERVER" -w
    local link
    while IFS= read -r -d '' link; do
      if [ -d "$link" ]; then rm -f "$link" && mkdir -p "$link"; else rm -f "$link"; fi
    done < <(find "$WINEPREFIX/drive_c" -type l -print0)
    "$QRT_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      </dev/null >/dev/null 2>&1
    if [ -d "$QRT_WINE_FONTS" ]; then
      cp -n "$QRT_WINE_FONTS"/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    "$QRT_WINESERVER" -w
    echo "$QRT_WINE_TEMPLATE_VERSION" >"$QRT_WINE_TEMPLATE/.ready"
  ) 9>"$QRT_WINE_TEMPLATE.lock"
}

# Copies the template into a new prefix DIR (replacing what was there).
qrt_wine_new_prefix() {
  qrt_wine_template
  rm -rf "$1"
  mkdir -p "$(dirname "$1")"
  cp -a "$QRT_WINE_TEMPLATE" "$1"
}

# Leaves prefix DIR nothing of the host that a scan of its drives could
# reach: removes every drive but C: (Z: is the host's /), and fails when a
# symbolic link under C: remains (a scan would follow it out of the prefix).
# Programs must then be copied into C: to be run: host paths are not drives
# any more.
qrt_wine_confine() {
  local drive
  for drive in "$1"/dosdevices/?: "$1"/dosdevices/?::; do
    [ -e "$drive" ] || [ -L "$drive" ] || continue
    [ "${drive##*/}" = c: ] || rm -f "$drive"
  done
  if [ -e "$1/dosdevices/z:" ] || [ -L "$1/dosdevices/z:" ]; then
    echo "wine-env: $1 still has drive Z:" >&2
    return 1
  fi
  local link
  link=$(find "$1/drive_c" -type l -print -quit)
  if [ -n "$link" ]; then
    echo "wine-env: $link is a symbolic link: no prefix to scan in" >&2
    return 1
  fi
}

# Where GTEST_OUTPUT asks for a report, for a program in a prefix without Z:
# that cannot write there itself: prints the host path, a directory (ending
# in /) or a file, or nothing when GTEST_OUTPUT is unset. Takes "xml:DIR\" or
# "xml:FILE" as a Windows path on Z: (as test-all.sh gives it) or a host path,
# and "xml" alone (test_detail.xml in the current folder); fails on others.
qrt_gtest_report_target() {
  local target
  case "${GTEST_OUTPUT:-}" in
    '') return 0 ;;
    xml:[Zz]:*)
      target=${GTEST_OUTPUT#xml:?:}
      target=${target//\\//}
      ;;
    xml:/*) target=${GTEST_OUTPUT#xml:} ;;
    xml) target=$PWD/test_detail.xml ;;
    *)
      echo "GTEST_OUTPUT must be xml: with a path on Z: or on the host" >&2
      return 2
      ;;
  esac
  echo "$target"
}

# Copies REPORT to TARGET (from qrt_gtest_report_target). Into a directory it
# goes as NAME.xml, or NAME_1.xml, NAME_2.xml, ... when that is taken, as
# GoogleTest names its reports; the name is claimed without overwriting, so
# runs in parallel keep their reports apart.
qrt_copy_gtest_report() {  # report target name
  local report=$1 target=$2 name=$3 file n=1
  case "$target" in
    */)
      mkdir -p "$target"
      file=$target$name.xml
      while ! (set -C && : >"$file") 2>/dev/null; do
        [ "$n" -le 1000 ] || { echo "cannot write a report into $target" >&2; return 1; }
        file=$target${name}_$n.xml
        n=$((n + 1))
      done
      ;;
    *)
      mkdir -p "$(dirname "$target")"
      file=$target
      ;;
  esac
  cp "$report" "$file"
}

# Starts an Xvfb on a free display, its number written to FILE, and exports
# DISPLAY for it; sets QRT_XVFB_PID to the server's process (the caller ends
# it). Fails when no display comes up within 10 s.
qrt_start_xvfb() {  # file
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$1" >/dev/null 2>&1 &
  QRT_XVFB_PID=$!
  local _
  for _ in $(seq 100); do
    [ -s "$1" ] && break
    kill -0 "$QRT_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  [ -s "$1" ] || return 1
  DISPLAY=:$(head -1 "$1")
  export DISPLAY
}

# Sets Windows version NAME (win98, nt40, winxp, ...) in prefix DIR.
qrt_wine_set_version() {
  WINEPREFIX=$1 "$QRT_WINE" reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d "$2" /f \
    </dev/null >/dev/null 2>&1
}

# Starts a persistent wineserver for prefix DIR; stop it with qrt_wine_stop_server.
qrt_wine_start_server() {
  WINEPREFIX=$1 "$QRT_WINESERVER" -p60
}

# Ends every process of prefix DIR and its server, and waits for them.
qrt_wine_stop_server() {
  WINEPREFIX=$1 "$QRT_WINESERVER" -k 2>/dev/null || true
  WINEPREFIX=$1 "$QRT_WINESERVER" -w 2>/dev/null || true
}

# Starts Wine's own system processes in prefix DIR with their output going
# nowhere. Otherwise the first program of a run starts them, they inherit its
# output, and whoever reads that output (ctest) waits for them to end.
qrt_wine_warm_up() {
  WINEPREFIX=$1 "$QRT_WINE" cmd /c exit </dev/null >/dev/null 2>&1
}

# Ends the background process PID (nothing when PID is empty) and waits for it.
qrt_end_process() {  # pid or nothing
  if [ -n "$1" ]; then kill "$1" && wait "$1"; fi 2>/dev/null
}

# The wall clock in milliseconds.
qrt_now_ms() { echo $(($(date +%s%N) / 1000000)); }
