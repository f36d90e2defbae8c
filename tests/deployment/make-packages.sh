#!/bin/bash
# Makes the installers the deployment tests run: VELPACK STUB ARCHITECTURE OUTDIR
#  - deploy.exe from the manifest beside this script;
#  - deploy-plain.exe, the same without package flag bit 3, as older packages are;
#  - deploy-damaged.exe, the same cut short, as a broken download is.
set -euo pipefail
velpack="$1" stub="$2" architecture="$3" out="$4"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$out"
mkdir -p "$out"
# core.bin: 5 KB and a half, so that the size entered for the product is known.
head -c 5632 /dev/zero | tr '\0' 'c' >"$out/core.bin"
printf 'Documents.\r\n' >"$out/docs.txt"
printf 'Hidden but selected.\r\n' >"$out/hidden.txt"
printf 'Never installed.\r\n' >"$out/never.txt"
cp "$here/manifests/deploy.toml" "$out/"
"$velpack" build "$out/deploy.toml" --stub "$stub" --architecture "$architecture" -o "$out/deploy.exe" >/dev/null
# The trailer's package-flags byte is the file's third-last byte.
cp "$out/deploy.exe" "$out/deploy-plain.exe"
at=$(($(stat -c %s "$out/deploy.exe") - 3))
flags=$(od -An -tu1 -j "$at" -N 1 "$out/deploy.exe" | tr -d ' ')
[ $((flags & 8)) -eq 8 ] || { echo "velpack did not set package flag bit 3 (flags $flags)" >&2; exit 1; }
printf "\\x$(printf %02x $((flags & ~8)))" | dd of="$out/deploy-plain.exe" bs=1 seek="$at" conv=notrunc status=none
head -c -20 "$out/deploy.exe" >"$out/deploy-damaged.exe"
