#!/bin/bash
# Builds everything and runs every test: native (sanitized) and Windows (under Wine).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
velmora_build
velmora_start_wine
ctest --test-dir "$BUILD/host" --output-on-failure -j2 "$@"
# The 32-bit stub's size is checked even where its tree's Wine tests cannot run.
if [ "$VELMORA_RUNS_32BIT" = 0 ]; then
  ctest --test-dir "$BUILD/win" --output-on-failure -L size
fi
