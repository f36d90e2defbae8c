#!/bin/bash
# Makes the installers the Unicode tests run: VELPACK STUB ARCHITECTURE OUTDIR
#  - unicode.exe from the manifest beside this script, with the files it carries;
#  - unicode-ansi.exe, a product in Windows-1252 (encoding = "ansi"), as packages were before.
set -euo pipefail
velpack="$1" stub="$2" architecture="$3" out="$4"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$out"
mkdir -p "$out/files/Документы" "$out/files/Φάκελος"
printf 'Japanese\r\n' >"$out/files/Документы/読んでください.txt"
printf 'Greek\r\n' >"$out/files/Φάκελος/Αρχείο.txt"
printf 'Arabic\r\n' >"$out/files/ملف.txt"
printf 'Emoji\r\n' >"$out/files/😀 smile.txt"
printf 'MZ' >"$out/files/خدمة.exe"
cp "$here/manifests/unicode.toml" "$out/"
"$velpack" build "$out/unicode.toml" --stub "$stub" --architecture "$architecture" -o "$out/unicode.exe" >/dev/null
cat >"$out/unicode-ansi.toml" <<'TOML'
[product]
name = "Café Müller"
destination = 'C:\Café Müller'
encoding = "ansi"
unattended = true

[[component]]
name = "Küche"
action = [
  {kind = "files", source = "ansi.txt", name = "Gemüse.txt"},
  {kind = "registry", root = "HKCU", key = 'Software\Café Müller', name = "Straße", data = "Zürich"},
]
TOML
printf 'ANSI\r\n' >"$out/ansi.txt"
"$velpack" build "$out/unicode-ansi.toml" --stub "$stub" --architecture "$architecture" -o "$out/unicode-ansi.exe" >/dev/null
