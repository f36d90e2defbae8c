#!/bin/bash
# Builds everything and runs every test: native (sanitized) and Windows (under Wine).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
velmora_build
velmora_start_wine
ctest --test-dir "$BUILD/host" --output-on-failure -j2 "$@"
