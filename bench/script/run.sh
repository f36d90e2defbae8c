#!/bin/bash
# Script benchmark under Wine: start-up cost of a script action and 1,000 late-bound calls of
# Installer.Variables, beside the same figures for an empty loop, an empty script and no script.
#   bench/script/run.sh [BUILD_DIR] [RUNS]
# BUILD_DIR is a Windows build tree (default: build/win64 on machines without 32-bit support,
# else build/win); its stub, velpack and Wine prefix are used. RUNS defaults to 21.
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
BUILD_DIR="$ROOT/build/win"
/usr/lib/wine/wine --version >/dev/null 2>&1 || BUILD_DIR="$ROOT/build/win64"
[ $# -gt 0 ] && BUILD_DIR="$(cd "$1" && pwd)"
RUNS="${2:-21}"
VELPACK="$(sed -n 's/^VELPACK_EXECUTABLE:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt")"
cmake --build "$BUILD_DIR" --target InstallCore ScriptTimer -j2 >/dev/null

# shellcheck source=../../scripts/common.sh
source "$ROOT/scripts/common.sh"
velmora_bench_wine "$BUILD_DIR"

work="$BUILD_DIR/bench-script"
rm -rf "$work"
mkdir -p "$work"
# One unattended installer per script: no files, no uninstaller, the script its only action.
make() { # NAME SCRIPT (empty: no script action)
  {
    printf '[product]\nname = "Velmora Script Bench"\ndestination = %s\nunattended = true\nuninstaller = false\n\n' \
      "'C:\\Velmora Script Bench'"
    printf '[[component]]\nname = "Main"\n'
    if [ -n "$2" ]; then
      printf '\n  [[component.action]]\n  kind = "script"\n  language = "JScript"\n  file = "%s.js"\n' "$1"
      printf '%s\n' "$2" >"$work/$1.js"
    fi
  } >"$work/$1.toml"
  "$VELPACK" build "$work/$1.toml" --stub "$BUILD_DIR/bin/InstallCore.exe" --architecture "$ARCHITECTURE" \
    -o "$work/$1.exe" >/dev/null
}
# The first statement notes the time; the loop runs 10 x 1,000 times and reports per 1,000.
report='var I = Installer;
I.AddRegKey("HKCU\\Software\\Velmora Script Bench\\First", 1, String(first));
I.AddRegKey("HKCU\\Software\\Velmora Script Bench\\Loop", 1, String((end - begin) / 10));'
make calls "var first = new Date().getTime();
var begin = new Date().getTime();
for (var i = 0; i < 10000; ++i) var value = Installer.Variables(\"ProductName\");
var end = new Date().getTime();
$report"
make loop "var first = new Date().getTime();
var begin = new Date().getTime();
for (var i = 0; i < 10000; ++i) var value = i;
var end = new Date().getTime();
$report"
make empty " "
make none ""

win() { "$VELMORA_WINE" winepath.exe -w "$1" 2>/dev/null | tr -d '\r'; }
"$VELMORA_WINE" "$BUILD_DIR/bin/ScriptTimer.exe" "$RUNS" \
  "JScript, 1,000 Installer.Variables calls=$(win "$work/calls.exe")" \
  "JScript, 1,000 empty loop iterations=$(win "$work/loop.exe")" \
  "empty JScript script=$(win "$work/empty.exe")" \
  "no script action=$(win "$work/none.exe")" | tr -d '\r'
