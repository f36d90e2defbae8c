#!/bin/bash
# Install-throughput benchmark under Wine: Velmora against NSIS (bzip2 and lzma) on the same payload.
#   bench/install/run.sh [BUILD_DIR] [--no-build] [bench.py options: --repeat N, --only ..., --reuse, ...]
# BUILD_DIR is the Windows build tree (default build/win); its stub, its Wine prefix and the velpack it was
# configured with (VELPACK_EXECUTABLE) are used, and payload, installers and results go to BUILD_DIR/bench-install.
# --stub and --velpack name other binaries instead (their trees are then only read, never built).
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"

BUILD_DIR="$ROOT/build/win"
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  BUILD_DIR="$(cd "$1" && pwd)"
  shift
fi
BUILD=1
STUB="$BUILD_DIR/bin/InstallCore.exe"
VELPACK="$(sed -n 's/^VELPACK_EXECUTABLE:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt" 2>/dev/null || true)"
PASS=()
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) BUILD=0 ;;
    --stub) STUB="$2"; BUILD=0; shift ;;
    --velpack) VELPACK="$2"; BUILD=0; shift ;;
    *) PASS+=("$1") ;;
  esac
  shift
done

for tool in makensis wineserver python3; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (scripts/bootstrap.sh installs it)" >&2; exit 1; }
done

if [ "$BUILD" = 1 ]; then
  [ -n "$VELPACK" ] && [ -f "$(dirname "$VELPACK")/../CMakeCache.txt" ] &&
    cmake --build "$(dirname "$VELPACK")/.." --target velpack -j2
  cmake --build "$BUILD_DIR" --target InstallCore -j2
fi

# The unattended installs show no window; a warm server makes a process start cost milliseconds.
# shellcheck source=../../scripts/common.sh
source "$ROOT/scripts/common.sh"
velmora_bench_wine "$BUILD_DIR"
python3 -B "$HERE/bench.py" --work "$BUILD_DIR/bench-install" --stub "$STUB" --architecture "$ARCHITECTURE" \
  --velpack "$VELPACK" "${PASS[@]}"
