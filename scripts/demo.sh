#!/bin/bash
# The main job: builds the stub and the packer, turns the example manifest into an installer and
# checks it with velpack verify: installed in a throw-away Wine prefix, shown with everything it
# changed, removed again by its own uninstaller, and the prefix compared with before.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
velmora_build

MANIFEST="$ROOT/examples/demo/velmora-demo.toml"
SETUP="$BUILD/demo/VelmoraDemoSetup.exe"
REPORT="$BUILD/demo/verify.json"
# The kind of installer this machine runs: 32-bit where it can, 64-bit otherwise.
ARCHITECTURE=x86
[ "$VELMORA_RUNS_32BIT" = 1 ] || ARCHITECTURE=x64
echo "velmora: the demo is an $ARCHITECTURE installer"
mkdir -p "$BUILD/demo"
"$BUILD/host/velpack/velpack" build "$MANIFEST" -o "$SETUP" --architecture "$ARCHITECTURE"
echo
echo "== Installer: $SETUP ($(stat -c %s "$SETUP") bytes)"
"$BUILD/host/velpack/velpack" list "$SETUP"

echo
echo "== velpack verify: install, inspect and remove it in a throw-away Wine prefix"
start=$(date +%s.%N)
code=0
"$BUILD/host/velpack/velpack" verify "$SETUP" --json "$REPORT" || code=$?
echo
echo "velpack verify: exit code $code (0 clean, 1 leftovers, 2 failed) after $(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }') s;" \
  "the same report in JSON: $REPORT"
exit "$code"
