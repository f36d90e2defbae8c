#!/bin/bash
# Makes the installers the start-up tests run: VELPACK STUB OUTDIR ARCHITECTURE
set -euo pipefail
velpack="$1" stub="$2" out="$3" architecture="$4"
mkdir -p "$out"
cp "$stub" "$out/stub.exe"
printf 'Startup Test' >"$out/name.txt"
printf '\001\000\000\000' >"$out/flags.bin"
"$velpack" pack --stub "$stub" -o "$out/good.exe" --solid ProductName="$out/name.txt" --solid flags="$out/flags.bin"
"$velpack" pack --stub "$stub" -o "$out/empty.exe"

# An unattended installer of three files, one of each storage of the block codec (solid,
# compressed, stored), for damage tests; the noise is the same every time. damage-long.exe holds
# the same files in a long-range stream, velpack's default.
mkdir -p "$out/damage"
printf 'A small file, kept in the solid block.\r\n' >"$out/damage/small.txt"
for i in $(seq 1 4000); do printf 'Line %d of a text that compresses well.\n' "$i"; done >"$out/damage/prose.txt"
head -c 70001 /dev/zero | openssl enc -aes-128-ctr -nosalt -K 00000000000000000000000000000000 \
  -iv 00000000000000000000000000000000 >"$out/damage/noise.bin"
# An unattended installer of the files in one folder: NAME PRODUCT [MORE PRODUCT KEYS [FOLDER]]
build_unattended() {
  printf '[product]\nname = "%s"\ndestination = '"'"'C:\\%s'"'"'\nunattended = true\nencoding = "ansi"\n%s\n' "$2" "$2" "${3:-}" >"$out/$1.toml"
  printf '[[component]]\nname = "Main"\n[[component.action]]\nkind = "files"\nsource = "%s"\n' "${4:-$1}" >>"$out/$1.toml"
  "$velpack" build "$out/$1.toml" --stub "$stub" --architecture "$architecture" -o "$out/$1.exe" >/dev/null
}
build_unattended damage "Velmora Damage Test" $'uninstaller = false\ncompression = "block"'
build_unattended damage-long "Velmora Damage Test" "uninstaller = false" damage

# With the uninstaller: a damaged second file leaves the first one logged and registered.
mkdir -p "$out/damage-logged"
printf 'Installed before the damage.\r\n' >"$out/damage-logged/a.txt"
cp "$out/damage/noise.bin" "$out/damage-logged/b.bin"
printf 'Never installed.\r\n' >"$out/damage-logged/c.txt"
build_unattended damage-logged "Velmora Damage Logged" 'compression = "block"'

# Signed with a throw-away certificate: the damage installer, and good.exe with one byte more in
# front of its data area (as an installer whose size is no multiple of 8), which velpack sign
# first pads to the certificate table's boundary.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$out/key.pem" -out "$out/cert.pem" -days 2 \
  -subj "/CN=Velmora Test Signer" 2>/dev/null
cp "$out/damage.exe" "$out/signed.exe"
"$velpack" sign "$out/signed.exe" --cert "$out/cert.pem" --key "$out/key.pem" >/dev/null
# With the project's uninstaller, which is signed inside the package too; twice at one signing
# time, to compare.
epoch=$(date +%s)
for copy in signed-logged signed-logged-again; do
  cp "$out/damage-logged.exe" "$out/$copy.exe"
  SOURCE_DATE_EPOCH=$epoch "$velpack" sign "$out/$copy.exe" --cert "$out/cert.pem" --key "$out/key.pem" >/dev/null
done
le32() { od -An -t"$2"4 -j "$3" -N 4 "$1" | tr -d ' '; }
size=$(stat -c %s "$out/good.exe")
data_base=$((size + $(le32 "$out/good.exe" d $((size - 8))) - $(le32 "$out/good.exe" u $((size - 12)))))
{ head -c "$data_base" "$out/good.exe"; printf 'X'; tail -c +$((data_base + 1)) "$out/good.exe"; } >"$out/unaligned.exe"
cp "$out/unaligned.exe" "$out/signed-padded.exe"
"$velpack" sign "$out/signed-padded.exe" --cert "$out/cert.pem" --key "$out/key.pem" >/dev/null
