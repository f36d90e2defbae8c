#!/bin/bash
# Makes the installers of the scripting end-to-end tests:
#   VELPACK STUB ARCHITECTURE OUTDIR MARKERWRITER TESTSERVER TESTTYPES TESTFONT
set -euo pipefail
velpack="$1" stub="$2" architecture="$3" out="$4" marker="$5" server="$6" types="$7" font="$8"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$out"
mkdir -p "$out/everything/docs/deep/more" "$out/everything/bin" "$out/everything/fonts" \
  "$out/everything-external/tree/sub" "$out/scripts"
printf 'Read me.\r\n' >"$out/everything/docs/readme.txt"
printf 'Notes.\r\n' >"$out/everything/docs/deep/more/notes.txt"
cp "$marker" "$out/everything/bin/MarkerWriter.exe"
cp "$server" "$out/everything/bin/TestServer.dll"
cp "$types" "$out/everything/bin/TestTypes.tlb"
cp "$font" "$out/everything/fonts/VelmorSans.ttf"
printf 'from outside' >"$out/everything-external/note.txt"
printf 'nested' >"$out/everything-external/tree/sub/nested.txt"
cp "$here"/scripts/* "$out/scripts/"
for manifest in "$here"/manifests/*.toml; do
  cp "$manifest" "$out/"
  "$velpack" build "$out/$(basename "$manifest")" --stub "$stub" --architecture "$architecture" \
    -o "$out/$(basename "$manifest" .toml).exe" >/dev/null
done
