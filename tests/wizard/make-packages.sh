#!/bin/bash
# Makes the installers the wizard tests drive: VELPACK STUB ARCHITECTURE GATE OUTDIR
#  - installers from the manifests beside this script (velpack build), with Gate.exe beside them;
#  - packages of hand-made entries for the language table and the logo (velpack pack).
set -euo pipefail
velpack="$1" stub="$2" architecture="$3" gate="$4" out="$5"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$out"
mkdir -p "$out/raw"
cp "$gate" "$out/Gate.exe"

# Files of whole kilobytes, so that the sizes the wizard shows are known.
kb() { head -c $(($2 * 1024)) /dev/zero | tr '\0' "$3" >"$out/$1"; }
kb c100.bin 100 a
kb c200.bin 200 b
kb c700.bin 700 c
kb c1.bin 1 d
printf '{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs18 {\\b Velmora test licence}\\par Use it kindly.\\par}' >"$out/licence.rtf"
# A 4 x 2 logo, 24 bits, bottom-up: 14-byte file header, 40-byte information header, 2 rows of 12 bytes.
bmp_header() {  # pixel offset, height, image size
  printf 'BM\x4e\x00\x00\x00\x00\x00\x00\x00'; printf "$1"
  printf '\x28\x00\x00\x00\x04\x00\x00\x00'; printf "$2"
  printf '\x01\x00\x18\x00\x00\x00\x00\x00'; printf "$3"
  printf '\x13\x0b\x00\x00\x13\x0b\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
}
pixels() { head -c 24 /dev/zero | tr '\0' '\200'; }
# The product logo: 32 x 28, 24 bits, four coloured quarters (rows of 96 bytes, bottom row first).
quarters() { printf "$1%.0s" {1..16}; printf "$2%.0s" {1..16}; }
{
  printf 'BM\xb6\x0a\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x20\x00\x00\x00\x1c\x00\x00\x00'
  printf '\x01\x00\x18\x00\x00\x00\x00\x00\x80\x0a\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  for _ in {1..14}; do quarters '\x30\x90\x20' '\xd0\x60\x20'; done
  for _ in {1..14}; do quarters '\x20\x80\xe0' '\x20\xb0\xf0'; done
} >"$out/logo.bmp"
# Pixels said to start far behind the entry's end, and an image-size field larger than the entry.
{ bmp_header '\x00\x00\x01\x00' '\x02\x00\x00\x00' '\x00\x00\x00\x00'; pixels; } >"$out/raw/far-pixels.bmp"
{ bmp_header '\x36\x00\x00\x00' '\x02\x00\x00\x00' '\x00\x00\x10\x00'; pixels; } >"$out/raw/big-size.bmp"
# Top-down rows (negative height).
{ bmp_header '\x36\x00\x00\x00' '\xfe\xff\xff\xff' '\x00\x00\x00\x00'; pixels; } >"$out/raw/top-down.bmp"

for manifest in "$here"/manifests/*.toml; do
  cp "$manifest" "$out/"
  "$velpack" build "$out/$(basename "$manifest")" --stub "$stub" --architecture "$architecture" \
    -o "$out/$(basename "$manifest" .toml).exe" >/dev/null
done

# Hand-made packages: one listed, selected component and the entries given.
text() { printf '%s' "$2" >"$out/raw/$1"; }
text name 'Velmora Wizard Raw'
text path 'C:\Velmora Wizard Raw'
printf '\003' >"$out/raw/cflags"
text cname 'Everything'
raw_package() {  # OUT ENTRY=FILE...
  local name="$1"
  shift
  local args=(--solid ProductName="$out/raw/name" --solid ProductPath="$out/raw/path"
    --solid '0\flags'="$out/raw/cflags" --solid '0\name'="$out/raw/cname")
  for entry in "$@"; do args+=(--solid "$entry"); done
  "$velpack" pack --stub "$stub" -o "$out/$name" "${args[@]}"
}
lang() {  # LANGUAGE KEY TEXT: an entry file and its argument
  printf '%s' "$3" >"$out/raw/l$1-$2"
  echo "l\\$1\\$2=$out/raw/l$1-$2"
}
# English found through its id although it is not language 0.
raw_package lang-second.exe $(lang 0 name Deutsch) $(lang 0 id 1031) $(lang 0 201.222 Zielordner:) \
  $(lang 1 name English) $(lang 1 id 1033) $(lang 1 201.222 Folder:)
# No id matches (01033 is not 1033): language 0; language 3 is not listed after the gap at 2.
raw_package lang-none.exe $(lang 0 name Francais) $(lang 0 id 1036) $(lang 0 201.222 Dossier:) \
  $(lang 1 name English) $(lang 1 id 01033) $(lang 1 201.222 Folder:) $(lang 3 name Gap) $(lang 3 id 1033)
for logo in far-pixels big-size top-down; do
  raw_package "logo-$logo.exe" "Logo.bmp=$out/raw/$logo.bmp"
done
