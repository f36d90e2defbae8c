#!/bin/bash
# Builds the codec benchmark optimised, assembles its corpus from files every Debian machine with
# the project's build packages has (missing ones are skipped), and runs it once, then xz and zstd
# on the same files:
#   bench/codec/run.sh [path/to/InstallCore.exe]
# CODEC_BENCH_BUILD names the build tree (default build-codec-host).
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${CODEC_BENCH_BUILD:-$root/build-codec-host}

if [ ! -f "$build/build.ninja" ]; then
  CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target codec_bench -j2 >/dev/null

corpus=$build/codec-corpus
mkdir -p "$corpus"

# Concatenates the files that exist, in the order given, into one input.
assemble() {
  local out=$corpus/$1
  shift
  : >"$out"
  local f
  for f in "$@"; do
    if [ -f "$f" ] && [ ! -L "$f" ]; then cat "$f" >>"$out"; fi
  done
}

assemble texts.txt /usr/share/common-licenses/* /usr/share/dict/words \
  /usr/lib/python3.11/*.py /usr/share/cmake-3.25/Modules/*.cmake /usr/include/c++/12/bits/*.h
man=()
for page in bash cmake ctest perlfunc perlop wine gcc; do
  for f in /usr/share/man/man1/$page.1.gz /usr/share/man/man1/$page.1p.gz; do [ -f "$f" ] && man+=("$f"); done
done
: >"$corpus/manpages.txt"
for f in "${man[@]}"; do gzip -dc "$f" >>"$corpus/manpages.txt"; done
assemble linux-programs.bin /usr/bin/cmake /usr/bin/ctest /usr/bin/cpack /usr/bin/bash /usr/bin/perl \
  /usr/bin/ninja /usr/bin/Xvfb /usr/bin/x86_64-linux-gnu-ld.bfd /usr/bin/i686-w64-mingw32-ld.bfd
wine=/usr/lib/i386-linux-gnu/wine/i386-windows
assemble windows-dlls.bin $wine/comctl32.dll $wine/jscript.dll $wine/msi.dll $wine/ole32.dll \
  $wine/riched20.dll $wine/wininet.dll $wine/advapi32.dll $wine/setupapi.dll

args=()
for f in texts.txt manpages.txt linux-programs.bin windows-dlls.bin; do
  [ -s "$corpus/$f" ] && args+=("$corpus/$f")
done
files=("${args[@]}")
if [ $# -ge 1 ]; then args+=(--stub "$1"); fi
"$build/bench/codec/codec_bench" "${args[@]}"

# The command-line peers on the same files (not the generated inputs), one stream per file as above:
# packed bytes and decoding wall time (best of 3).
echo
printf '%-22s %12s %12s %14s %14s\n' "input" "xz -9" "decode (s)" "zstd -19 long" "decode (s)"
best_of_3() {
  local best="" t
  for _ in 1 2 3; do
    t=$( { /usr/bin/time -f %e "$@" >/dev/null; } 2>&1 | tail -1)
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}
for f in "${files[@]}"; do
  xz -9 -T1 -c "$f" >"$f.xz"
  zstd -q -19 --long=27 -c "$f" >"$f.zst"
  printf '%-22s %12s %12s %14s %14s\n' "$(basename "$f")" "$(stat -c %s "$f.xz")" "$(best_of_3 xz -dc "$f.xz")" \
    "$(stat -c %s "$f.zst")" "$(best_of_3 zstd -q -d --long=27 -c "$f.zst")"
  rm -f "$f.xz" "$f.zst"
done
