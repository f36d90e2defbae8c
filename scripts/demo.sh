#!/bin/bash
# The main job: builds the stub and the packer, turns the example manifest into an installer,
# installs it unattended under Wine and shows what it installed.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
velmora_build
velmora_start_wine

MANIFEST="$ROOT/examples/demo/velmora-demo.toml"
SETUP="$BUILD/demo/VelmoraDemoSetup.exe"
# The kind of installer this machine runs: 32-bit where it can, 64-bit otherwise.
TREE="${VELMORA_RUN_TREES[0]}"
ARCHITECTURE=x86
[ "$TREE" = "$BUILD/win64" ] && ARCHITECTURE=x64
velmora_wine_env "$TREE"
echo "velmora: the demo is an $ARCHITECTURE installer, run under $VELMORA_WINE"
mkdir -p "$BUILD/demo"
"$BUILD/host/velpack/velpack" build "$MANIFEST" -o "$SETUP" --architecture "$ARCHITECTURE"
echo
echo "== Installer: $SETUP ($(stat -c %s "$SETUP") bytes)"
"$BUILD/host/velpack/velpack" list "$SETUP"

DEST="$("$VELMORA_WINE" winepath.exe -u 'C:\Program Files\Velmora Demo' | tr -d '\r')"
# A fresh machine each time: remove what an earlier run of the demo may have left.
rm -rf "$DEST"
"$VELMORA_WINE" reg delete 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Velmora Demo' /f >/dev/null 2>&1 || true
"$VELMORA_WINE" reg delete 'HKCU\Software\Velmora Demo' /f >/dev/null 2>&1 || true

echo
echo "== Installing unattended under Wine"
code=0
timeout 300 "$VELMORA_WINE" "$SETUP" || code=$?
echo "exit code: $code"

echo
echo "== Installed tree: $DEST"
(cd "$DEST" && find . -mindepth 1 -printf '%-44p %M %8s  %TY-%Tm-%Td %TH:%TM\n' | sort)
echo
echo "== Start-menu folder"
MENU="$("$VELMORA_WINE" winepath.exe -u 'C:\users' | tr -d '\r')"
find "$MENU" -path '*Velmora Demo*' -printf '%P\n' | sort
echo
echo "== Uninst.log (newest change first)"
tr -d '\r' <"$DEST/Uninst.log"
echo
echo "== Registry"
"$VELMORA_WINE" reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Velmora Demo' 2>/dev/null | tr -d '\r'
"$VELMORA_WINE" reg query 'HKCU\Software\Velmora Demo' /s 2>/dev/null | tr -d '\r' || true

echo
echo "== Removing it again with the installed uninstaller (silent)"
code=0
timeout 300 "$VELMORA_WINE" "C:\\Program Files\\Velmora Demo\\Uninst.exe" "C:\\Program Files\\Velmora Demo\\Uninst.log" /S || code=$?
echo "exit code: $code"
if [ -e "$DEST" ]; then echo "left behind:"; find "$DEST"; else echo "the product folder is gone"; fi
