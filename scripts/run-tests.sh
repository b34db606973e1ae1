#!/usr/bin/env bash
# Runs the x86_64 tests under wine64 on a private virtual display; arguments go to CTest
# (for example -R cell_log). Expects a finished build (scripts/build.sh mingw-x86_64).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_root="${TARNVEL_BUILD_ROOT:-$PWD/build}"
source scripts/env.sh
scripts/wine-prefix.sh
source scripts/virtual-display.sh
tarnvel_start_virtual_display
ctest --test-dir "$build_root/mingw-x86_64" --output-on-failure -j2 "$@"
