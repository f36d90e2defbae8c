# Sourced by the top-level scripts: configures and builds the host and Windows trees, and
# provides a private X display and a warm Wine server.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

velmora_build() {
  "$ROOT/scripts/bootstrap.sh"
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVELMORA_WIN_BUILD_DIR="$BUILD/win" >/dev/null
  cmake -S "$ROOT" -B "$BUILD/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    -DVELPACK_EXECUTABLE="$BUILD/host/velpack/velpack" >/dev/null
  cmake --build "$BUILD/host" -j2
  cmake --build "$BUILD/win" -j2
}

# Starts Xvfb on a free display and a persistent wineserver; both end with the script.
velmora_start_wine() {
  local fifo display
  fifo="$(mktemp -u)"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  read -r display <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$display"
  export VELMORA_WINEPREFIX="$BUILD/win/wineprefix"
  # shellcheck source=../cmake/wine-env.sh
  source "$ROOT/cmake/wine-env.sh" "$VELMORA_WINEPREFIX"
  wineserver -p
  trap velmora_stop_wine EXIT
  # The first Wine process of a session starts the prefix's services, which inherit its standard
  # handles. Started here, they hold /dev/null rather than a test's output pipe, which CTest would
  # otherwise wait on until the test's timeout.
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

velmora_stop_wine() {
  wineserver -k 2>/dev/null || true
  kill "$XVFB_PID" 2>/dev/null || true
}
