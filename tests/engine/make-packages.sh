#!/bin/bash
# Makes the installers and packages the engine tests use:
#   VELPACK STUB ARCHITECTURE PROGRAMS OUTDIR [X86STUB]
# PROGRAMS is the folder of the test programs the packages carry or start (MarkerWriter.exe,
# CompanionReader.exe, Gate.exe); they are copied into OUTDIR and OUTDIR/bin.
#  - end-to-end installers from the manifests beside this script (velpack build);
#  - the architecture test's installer for STUB's ARCHITECTURE and, given an x86 stub to a 64-bit
#    tree, a 32-bit one too;
#  - packages of hand-made action records, malformed ones included (velpack pack).
set -euo pipefail
velpack="$1" stub="$2" architecture="$3" programs="$4" out="$5" x86stub="${6:-}"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$out"
mkdir -p "$out/bin" "$out/raw"
for program in MarkerWriter CompanionReader Gate; do
  cp "$programs/$program.exe" "$out/bin/$program.exe"
  cp "$programs/$program.exe" "$out/$program.exe"
done

# Sources of the manifests, with fixed times so that the installed times can be checked.
mkdir -p "$out/basic/docs" "$out/basic-copy-source/sub" "$out/basic-copy-source/empty/deeper"
printf 'Read me first.\r\n' >"$out/basic/docs/readme.txt"
head -c 3000 /dev/zero | tr '\0' 'd' >"$out/basic/data.bin"
printf 'deep' >"$out/basic-copy-source/sub/deep.txt"
touch -d '2001-02-03 04:05:06 UTC' "$out/basic/docs/readme.txt" "$out/basic/data.bin"
for manifest in "$here"/manifests/*.toml; do
  cp "$manifest" "$out/"
  "$velpack" build "$out/$(basename "$manifest")" --stub "$stub" --architecture "$architecture" \
    -o "$out/$(basename "$manifest" .toml).exe" >/dev/null
done
# One product's versions and unfinished runs, with Velmora's own uninstaller.
mkdir -p "$out/lifecycle/v1" "$out/lifecycle/v2"
for name in a b c guarded; do printf '%s version 1\r\n' "$name" >"$out/lifecycle/v1/$name.txt"; done
for name in a guarded; do printf '%s version 2\r\n' "$name" >"$out/lifecycle/v2/$name.txt"; done
printf 'shared' >"$out/lifecycle/velmora-e2e-shared.dll"
# Random bytes: slow enough to decode that the installer can be killed while it writes them.
head -c 8388608 /dev/urandom >"$out/lifecycle/big.bin"
for manifest in "$here"/lifecycle/*.toml; do
  cp "$manifest" "$out/"
  "$velpack" build "$out/$(basename "$manifest")" --stub "$stub" --architecture "$architecture" \
    -o "$out/$(basename "$manifest" .toml).exe" >/dev/null
done
# The stub is picked by the architecture alone.
VELMORA_STUB_X86="$stub" VELMORA_STUB_X64="$stub" "$velpack" build "$here/architecture/architecture.toml" \
  --architecture "$architecture" -o "$out/architecture-native.exe" >/dev/null
if [ "$architecture" = x64 ] && [ -n "$x86stub" ] && [ -f "$x86stub" ]; then
  VELMORA_STUB_X86="$x86stub" "$velpack" build "$here/architecture/architecture.toml" -o "$out/architecture-x86.exe" >/dev/null
fi

# Raw record bytes.
u32() { printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }
text() { printf '%s\0' "$1"; }
raw() { printf '%s' "$1"; }
# A file record header: type, creation, last access and last write time (low, high each), attributes.
file_header() { u32 "$1"; u32 0; u32 0; u32 0; u32 0; u32 "$2"; u32 "$3"; u32 "$4"; }
# A registry record: root, value type, path, data (printf format).
registry() {
  local data
  data="$(mktemp)"
  printf "$4" >"$data"
  u32 4; u32 "$2"; u32 "$(stat -c %s "$data")"; u32 "$1"; text "$3"; cat "$data"
  rm -f "$data"
}
bytes() { head -c "$1" /dev/zero | tr '\0' "$2"; }

# Entries run at the end of pipelines, in subshells: their packer arguments collect in a file.
entries="$out/raw/entries"
: >"$entries"
entry() { # NAME STORAGE: the record or content comes from standard input
  local file="$out/raw/$(printf '%s' "$1" | tr '\\/' '__')"
  cat >"$file"
  printf -- '--%s\n%s=%s\n' "$2" "$1" "$file" >>"$entries"
}
pack() {
  local args
  mapfile -t args <"$entries"
  "$velpack" pack --stub "$stub" -o "$out/$1" "${args[@]}" >/dev/null
  : >"$entries"
}

# External files and folders that ".p" and ".d" entries point at (beside the packages).
mkdir -p "$out/external/tree/a/b/c" "$out/external/chain/a/b" "$out/external/chain/empty/x" "$out/external/only-empty/x/y"
bytes 5125 f >"$out/external/five.bin"
bytes 10240 t >"$out/external/ten.bin"
bytes 2048 r >"$out/external/tree/top.bin"
bytes 1024 r >"$out/external/tree/a/b/c/deep.bin"
bytes 1000 r >"$out/external/tree/a/small.bin"
printf 'deep' >"$out/external/chain/a/b/deep.txt"
# Links back into the folder itself, twice over, and from a subfolder; and a tree deeper than
# any walk goes (a file in folders 31 and 32 levels below it).
mkdir -p "$out/external/loop/inner"
bytes 1024 l >"$out/external/loop/one.bin"
bytes 2048 l >"$out/external/loop/inner/two.bin"
ln -s . "$out/external/loop/again"
ln -s . "$out/external/loop/twice"
ln -s .. "$out/external/loop/inner/back"
deep="$out/external/deep"
for level in $(seq 1 32); do deep="$deep/$level"; done
mkdir -p "$deep"
printf '32' >"$deep/f.txt"
printf '31' >"$(dirname "$deep")/f.txt"

# Product data, components 0, 1 and 3, and records whose side entries decide their size.
raw 'Velmora Engine Data' | entry ProductName solid
raw 'Velmora Tests' | entry CompanyName solid
raw '3.1' | entry ProductVersion solid
raw '${ProgramsPath}\Velmora Engine Data' | entry ProductPath solid
raw '\Added ${ProductVersion}\\' | entry AddedFolder solid
raw '\\${ProductName} Menu' | entry AddedMenu solid
raw '0' | entry UserMenu solid
printf '\005' | entry flags solid
raw 'MZ' | entry uninst.exe stored
printf '\003' | entry '0\flags' solid
raw 'Core' | entry '0\name' solid
raw 'Core files' | entry '0\descr' solid
printf '\002' | entry '1\flags' solid
raw 'Extra' | entry '1\name' solid
printf '\003' | entry '3\flags' solid
raw 'Never' | entry '3\name' solid
for n in 0 1 2; do
  { file_header 0 0 0 32; text "C:\\Velmora Engine Data\\size$n.bin"; } | entry "0\\$n" solid
done
bytes 1023 a | entry '0\0.f' compressed
bytes 1024 b | entry '0\1.f' compressed
bytes 2047 c | entry '0\2.f' stored
{ file_header 9 0 0 32; text 'C:\Velmora Engine Data\both.bin'; } | entry '0\3' solid
bytes 3072 d | entry '0\3.f' compressed
raw '${InstallerPath}\external\ten.bin' | entry '0\3.p' solid
{ file_header 9 0 0 32; text 'C:\Velmora Engine Data\five.bin'; } | entry '0\4' solid
raw '${InstallerPath}\external\five.bin' | entry '0\4.p' solid
{ u32 11; text 'C:\Velmora Engine Data\tree'; } | entry '0\5' solid
raw '${InstallerPath}\external\tree\\' | entry '0\5.d' solid
{ u32 11; text 'C:\Velmora Engine Data\none'; } | entry '0\6' solid
raw '${InstallerPath}\external\missing' | entry '0\6.d' solid
{ file_header 0 0 0 32; text 'C:\Velmora Engine Data\gap.bin'; } | entry '1\1' solid
bytes 2048 g | entry '1\1.f' compressed
pack engine-data.exe

# Records of every kind, good and bad, for one component; component 1 has no action 0.
raw 'Velmora Engine Actions' | entry ProductName solid
raw 'C:\Velmora Engine Actions' | entry ProductPath solid
printf '\002' | entry '0\flags' solid
printf '\002' | entry '1\flags' solid
key='Software\Velmora Engine Actions'
{ file_header 0 0 0 32; text '${ProductPath}\missing\f.txt'; } | entry '0\0' solid
registry 0x80000001 1 'NoBackslash' 'x\0' | entry '0\1' solid
{ u32 0; raw 'short'; } | entry '0\2' solid
{ u32 4; u32 1; u32 2; u32 0x80000001; raw "$key\\Unterminated"; } | entry '0\3' solid
{ u32 12; text 'unknown'; } | entry '0\4' solid
{ u32 8; text 'skipped'; } | entry '0\5' solid
registry 0x80000001 1 "$key\\@" 'default of ${ProductName}\0' | entry '0\6' solid
registry 0x80000001 4 "$key\\Count" '\x2a\x00\x00\x00' | entry '0\7' solid
registry 0x00001234 1 "$key\\Bogus" 'x\0' | entry '0\8' solid
{ u32 5; u32 1; text ''; text 'ignored'; } | entry '0\9' solid
{ u32 5; u32 1; text '${InstallerPath}\MarkerWriter.exe'; text '"${ProductPath}\deferred.txt" 0'; } | entry '0\10' solid
# Last write 2005-06-07 08:09:10 UTC (as FILETIME), hidden.
written=$(( ($(date -u -d '2005-06-07 08:09:10' +%s) + 11644473600) * 10000000 ))
{ file_header 0 $((written & 0xFFFFFFFF)) $((written >> 32)) 2; text '${ProductPath}\ok\file.txt'; } | entry '0\11' solid
raw 'hello' | entry '0\11.f' compressed
registry 0x80000001 7 "$key\\Multi" '${ProductName}\0a${ProductPath}b\0\0' | entry '0\12' solid
registry 0x80000001 1 "$key\\Bare" 'abc' | entry '0\13' solid
{ u32 5; u32 0; text '${InstallerPath}\MarkerWriter.exe'; text "\"\${ProductPath}\\toolong.txt\" 0 $(bytes 4100 x)"; } | entry '0\14' solid
{ u32 1; text 'font.ttf'; } | entry '0\15' solid
{ u32 2; text 'server.dll'; } | entry '0\16' solid
{ u32 3; text 'types.tlb'; text ''; } | entry '0\17' solid
{ u32 6; u32 0; u32 0; u32 1; text 't'; text ''; text ''; text ''; text 'Q:\nowhere\l.lnk'; text ''; } | entry '0\18' solid
{ u32 7; text 'JScript'; text 'var x = 1;'; } | entry '0\19' solid
{ u32 10; u32 3; text 'VelmoraEngineActions'; text 'Velmora Engine Actions'; text ''; text 'Q:\s.exe'; } | entry '0\20' solid
{ u32 11; text '${ProductPath}\tree'; } | entry '0\21' solid
raw '${InstallerPath}\external\chain' | entry '0\21.d' solid
{ file_header 9 $((written & 0xFFFFFFFF)) $((written >> 32)) 1; text '${ProductPath}\copied\five.bin'; } | entry '0\22' solid
raw '${InstallerPath}\external\five.bin' | entry '0\22.p' solid
{ file_header 9 0 0 32; text '${ProductPath}\nowhere.bin'; } | entry '0\23' solid
{ u32 11; text '${ProductPath}\nowhere'; } | entry '0\24' solid
registry 0x80000001 1 "$key\\After" 'still runs\0' | entry '0\25' solid
{ file_header 0 0 0 32; text '${ProductPath}\never.txt'; } | entry '1\1' solid
raw 'never' | entry '1\1.f' compressed
pack engine-actions.exe

# One byte of product flags with bit 0: installs without the wizard.
raw 'Velmora E2E Short Flags' | entry ProductName solid
raw 'C:\Velmora E2E Short Flags' | entry ProductPath solid
printf '\001' | entry flags solid
printf '\002' | entry '0\flags' solid
{ file_header 0 0 0 32; text '${ProductPath}\installed.txt'; } | entry '0\0' solid
raw 'installed' | entry '0\0.f' stored
pack short-flags.exe

# A drive-relative destination: installs nothing, anywhere.
raw 'Velmora E2E Relative' | entry ProductName solid
raw 'C:Velmora E2E Relative' | entry ProductPath solid
printf '\001' | entry flags solid
raw 'MZ' | entry uninst.exe stored
printf '\002' | entry '0\flags' solid
{ file_header 0 0 0 32; text '${ProductPath}\installed.txt'; } | entry '0\0' solid
raw 'installed' | entry '0\0.f' stored
pack relative-destination.exe

# A file below the Windows folder, which is the temporary folder where no variable names one.
raw 'Velmora E2E No Temp' | entry ProductName solid
raw 'C:\Velmora E2E No Temp' | entry ProductPath solid
printf '\001' | entry flags solid
printf '\002' | entry '0\flags' solid
{ file_header 0 0 0 32; text '${WindowsPath}\Velmora E2E No Temp.txt'; } | entry '0\0' solid
raw 'kept' | entry '0\0.f' stored
pack no-temp-variable.exe
