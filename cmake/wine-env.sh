# Sourced with the prefix folder as argument: exports the Wine environment and creates the prefix once.
VELMORA_WINEPREFIX="$1"
export WINEPREFIX="$VELMORA_WINEPREFIX"
export WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME="$VELMORA_WINEPREFIX.home"
mkdir -p "$HOME"
if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
    DISPLAY= wineboot -i >/dev/null 2>&1 || true
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.velmora-ready"
  fi
  flock -u 9
  exec 9>&-
fi
