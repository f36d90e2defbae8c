#!/bin/bash
# The main job: builds the stub and the packer, turns the example manifest into an installer,
# installs it unattended under Wine and shows what it installed.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
velmora_build
velmora_start_wine

MANIFEST="$ROOT/examples/demo/velmora-demo.toml"
SETUP="$BUILD/demo/VelmoraDemoSetup.exe"
mkdir -p "$BUILD/demo"
"$BUILD/host/velpack/velpack" build "$MANIFEST" -o "$SETUP" --stub "$BUILD/win/bin/InstallCore.exe"
echo
echo "== Installer: $SETUP ($(stat -c %s "$SETUP") bytes)"
"$BUILD/host/velpack/velpack" list "$SETUP"

echo
echo "== Installing unattended under Wine"
code=0
timeout 300 wine "$SETUP" || code=$?
echo "exit code: $code"

DEST="$(winepath -u 'C:\Program Files\Velmora Demo' 2>/dev/null)"
echo
echo "== Installed tree: $DEST"
(cd "$DEST" && find . -printf '%M %10s %TY-%Tm-%Td %TH:%TM  %p\n' | sort -k6)
echo
echo "== Uninst.log (newest change first)"
tr -d '\r' <"$DEST/Uninst.log"
echo
echo "== Registry"
wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Velmora Demo' 2>/dev/null | tr -d '\r'
wine reg query 'HKCU\Software\Velmora Demo' /s 2>/dev/null | tr -d '\r' || true
