# Sourced by the top-level scripts: configures and builds the host tree and both Windows trees, finds
# out which of them this machine can run, and provides a private X display and warm Wine servers.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

# Some kernels run no 32-bit programs at all ("Exec format error"); the 32-bit Wine loader tells.
velmora_detect_arches() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    VELMORA_RUN_TREES=("$BUILD/win" "$BUILD/win64")
    export VELMORA_RUNS_32BIT=1
    echo "velmora: this machine runs 32-bit programs: the Windows tests run in the 32-bit build (wine) and the 64-bit build (wine64)"
  else
    VELMORA_RUN_TREES=("$BUILD/win64")
    export VELMORA_RUNS_32BIT=0
    echo "velmora: this machine runs no 32-bit programs: the 32-bit build is built but cannot be run here; the Windows tests run in the 64-bit build (wine64)"
  fi
}

velmora_build() {
  "$ROOT/scripts/bootstrap.sh"
  velmora_detect_arches
  local trees
  trees="$(IFS=';'; echo "${VELMORA_RUN_TREES[*]}")"
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVELMORA_WIN_BUILD_DIRS="$trees" >/dev/null
  cmake -S "$ROOT" -B "$BUILD/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    -DVELPACK_EXECUTABLE="$BUILD/host/velpack/velpack" >/dev/null
  cmake -S "$ROOT" -B "$BUILD/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" \
    -DVELPACK_EXECUTABLE="$BUILD/host/velpack/velpack" -DVELMORA_X86_STUB="$BUILD/win/bin/InstallCore.exe" >/dev/null
  cmake --build "$BUILD/host" -j2
  cmake --build "$BUILD/win" -j2
  cmake --build "$BUILD/win64" -j2
  # velpack build picks the stub (and the uninstaller beside it) of the manifest's architecture.
  export VELMORA_STUB_X86="$BUILD/win/bin/InstallCore.exe" VELMORA_STUB_X64="$BUILD/win64/bin/InstallCore.exe"
}

# Sources the Wine environment of one Windows build tree (its prefix and architecture).
velmora_wine_env() {
  # shellcheck source=../cmake/wine-env.sh
  source "$ROOT/cmake/wine-env.sh" "$1/wineprefix" "$(cat "$1/wine-arch")"
}

# For the benchmarks: the Wine environment of one Windows build tree without a display, a warm
# wineserver while the calling script runs (one already running for the prefix is left alone),
# and in ARCHITECTURE the kind of installer that tree's stub makes.
velmora_bench_wine() {
  unset DISPLAY
  velmora_wine_env "$1"
  if wineserver -p 2>/dev/null; then
    trap 'wineserver -k 2>/dev/null || true' EXIT
  fi
  ARCHITECTURE=x86
  if [ "$WINEARCH" = win64 ]; then ARCHITECTURE=x64; fi
}

# Starts Xvfb on a free display and a persistent wineserver for each tree this machine runs; all end
# with the script. Leaves the environment of the last such tree (the 64-bit one) in force.
velmora_start_wine() {
  local fifo display tree
  fifo="$(mktemp -u)"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  read -r display <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$display"
  trap velmora_stop_wine EXIT
  for tree in "${VELMORA_RUN_TREES[@]}"; do
    velmora_wine_env "$tree"
    # A server left running for the prefix (a benchmark's, say) would refuse a second one.
    if wineserver -k 2>/dev/null; then wineserver -w 2>/dev/null || true; fi
    wineserver -p
    # The first Wine process of a session starts the prefix's services, which inherit its standard
    # handles. Started here, they hold /dev/null rather than a test's output pipe, which CTest would
    # otherwise wait on until the test's timeout.
    if ! "$VELMORA_WINE" cmd.exe /c exit </dev/null >"$tree/wine-start.log" 2>&1; then
      echo "Wine could not start a program in $WINEPREFIX:" >&2
      cat "$tree/wine-start.log" >&2
      exit 1
    fi
    # Likewise the desktop process, which the first program with a window starts: it lives as
    # long as any program uses the desktop, so a test that started it would wait for the others.
    if [ -f "$tree/bin/DesktopHolder.exe" ]; then
      "$VELMORA_WINE" "$tree/bin/DesktopHolder.exe" </dev/null >/dev/null 2>&1 &
    fi
  done
}

velmora_stop_wine() {
  local tree
  for tree in "${VELMORA_RUN_TREES[@]}"; do
    WINEPREFIX="$tree/wineprefix" wineserver -k 2>/dev/null || true
  done
  kill "$XVFB_PID" 2>/dev/null || true
}
