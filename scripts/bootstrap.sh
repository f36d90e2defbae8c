#!/bin/bash
# Installs the Debian packages the build and the tests need; does nothing when all are present.
set -euo pipefail

PACKAGES=(
  wine wine32:i386 wine64 fonts-wine fonts-dejavu-core fonts-wqy-microhei g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  cmake ninja-build googletest xvfb xauth
  clang libclang-rt-14-dev
  libbz2-dev bzip2 libdivsufsort-dev libtomlplusplus-dev liblzma-dev nsis
  xz-utils zstd time
  osslsigncode openssl libssl-dev nlohmann-json3-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "bootstrap: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
