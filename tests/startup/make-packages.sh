#!/bin/bash
# Makes the installers the start-up tests run: VELPACK STUB OUTDIR
set -euo pipefail
velpack="$1" stub="$2" out="$3"
mkdir -p "$out"
cp "$stub" "$out/stub.exe"
printf 'Startup Test' >"$out/name.txt"
printf '\001\000\000\000' >"$out/flags.bin"
"$velpack" pack --stub "$stub" -o "$out/good.exe" --solid ProductName="$out/name.txt" --solid flags="$out/flags.bin"
"$velpack" pack --stub "$stub" -o "$out/empty.exe"
