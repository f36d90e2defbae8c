# Sourced with the prefix folder and the prefix's architecture (win32 or win64) as arguments:
# exports the Wine environment, VELMORA_WINE (the loader to start Windows programs with) and
# creates the prefix once. A failing set-up stops with Wine's own message.
VELMORA_WINEPREFIX="$1"
export WINEARCH="${2:-win32}"
export WINEPREFIX="$VELMORA_WINEPREFIX"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$VELMORA_WINEPREFIX.home"
# Debian's wine wrapper always tries the 32-bit loader first, which fails on kernels that run no
# 32-bit programs: a 64-bit prefix is driven by the 64-bit loader directly.
if [ "$WINEARCH" = win64 ]; then
  export VELMORA_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64
else
  export VELMORA_WINE=/usr/lib/wine/wine
fi
mkdir -p "$HOME"
# Wine's Tahoma has no CJK letters: linked to a Debian CJK font, the dialog font shows them, as
# Windows' font linking does (Arabic and Hebrew come from DejaVu through fontconfig). Wine writes its
# own links anew whenever a program starts in another ANSI code page (a test under a Japanese
# LC_ALL), so such tests link the font again when they are done.
velmora_link_cjk_font() {
  [ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || return 0
  cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/"
  "$VELMORA_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma \
    /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f
}
velmora_wine_setup() {
  local log="$WINEPREFIX.setup.log"
  if ! DISPLAY= "$VELMORA_WINE" wineboot -i >"$log" 2>&1 || ! wineserver -w >>"$log" 2>&1; then
    echo "Wine could not create the $WINEARCH prefix $WINEPREFIX:" >&2
    cat "$log" >&2
    return 1
  fi
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  velmora_link_cjk_font >>"$log" 2>&1
  "$VELMORA_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$log" 2>&1 &&
    "$VELMORA_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >>"$log" 2>&1 &&
    wineserver -w >>"$log" 2>&1 || { echo "Wine could not configure $WINEPREFIX:" >&2; cat "$log" >&2; return 1; }
  touch "$WINEPREFIX/.velmora-ready"
}
if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
    velmora_wine_setup || { flock -u 9; exec 9>&-; return 1 2>/dev/null || exit 1; }
  fi
  flock -u 9
  exec 9>&-
fi
