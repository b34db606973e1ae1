#!/usr/bin/env bash
# The test command: sets the machine up, builds both presets and runs every test under wine64
# on a private virtual display. Ends with CTest's own summary.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
./scripts/setup.sh
./scripts/build.sh mingw-x86_64 mingw-i686
source scripts/env.sh
source scripts/virtual-display.sh
tarnvel_start_virtual_display
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 # code page 936, as on the users' machines
# One persistent wineserver whose helper processes already run with their output going nowhere:
# otherwise they inherit a test's output pipe and CTest waits for them until the test times out.
"$TARNVEL_WINESERVER" -p >/dev/null 2>&1 </dev/null || true
"$TARNVEL_WINE" wineboot >/dev/null 2>&1 </dev/null || true
ctest --preset mingw-x86_64 -j2 "$@"
