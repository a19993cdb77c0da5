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
QRT_WINE_TEMPLATE_VERSION=2

# Makes the template prefix once: a new prefix, its links into $HOME replaced
# by plain folders, windows that close without a 2 s stall, and the fonts.
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
    local user_dir
    for user_dir in "$WINEPREFIX"/drive_c/users/*/; do
      for link in "$user_dir"*; do
        if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
      done
    done
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
